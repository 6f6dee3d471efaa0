# Run by `cmake --install` (see StationService.cmake) once the prefix is
# known: the service's system unit, naming the installed executable.
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(LURN_SERVICE_EXECUTABLE "${prefix}/${LURN_INSTALL_SBINDIR}/lurnd")
set(LURN_README "${prefix}/${LURN_INSTALL_DOCDIR}/README.md")
configure_file(${LURN_DATA_DIR}/lurnd.service.in ${LURN_SERVICE_WORK_DIR}/lurnd.service @ONLY)
# systemd looks for system units of packages in <prefix>/lib/systemd/system
# for /usr and /usr/local.
file(INSTALL DESTINATION "${prefix}/lib/systemd/system" TYPE FILE
    FILES ${LURN_SERVICE_WORK_DIR}/lurnd.service)
