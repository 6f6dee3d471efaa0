# The station's service (lurnd) as the system runs it: a systemd system unit
# and the system bus's policy for its name. Installing them starts nothing:
# the unit is enabled by the café's set-up (see "The station service" in the
# README), not by the package.
#
# The unit names the executable by its full path, known only when installing
# (`cmake --install --prefix DIR`, CPack), so it is made by an install script.
install(CODE "
    set(LURN_DATA_DIR \"${PROJECT_SOURCE_DIR}/data\")
    set(LURN_SERVICE_WORK_DIR \"${PROJECT_BINARY_DIR}/service-files\")
    set(LURN_INSTALL_SBINDIR \"${CMAKE_INSTALL_SBINDIR}\")
    set(LURN_INSTALL_DOCDIR \"${LURN_INSTALL_DOCDIR}\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallStationService.cmake)

# dbus reads the policies of packages from <datadir>/dbus-1/system.d.
install(FILES ${PROJECT_SOURCE_DIR}/data/dbus/org.lurn.Station.conf
    DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d)
