# The kiosk set-up: a systemd user unit that starts Lurn again whenever it
# ends other than by the operator's close, and an XDG autostart entry that
# starts it (through the unit where a user manager runs) at login.
#
# Both name the executable by its full path, which is known only when
# installing: `cmake --install --prefix DIR` and CPack choose the prefix then.
# So they are made from their templates by an install script.
#   lurn_configure_session_file(<template> <output> <executable> <readme>)
# makes one at build time instead, for the tests.

function(lurn_configure_session_file template output executable readme)
    set(LURN_EXECUTABLE "${executable}")
    set(LURN_README "${readme}")
    configure_file(${template} ${output}.in @ONLY)
    # The executable may be a generator expression ($<TARGET_FILE:lurn>).
    file(GENERATE OUTPUT ${output} INPUT ${output}.in)
endfunction()

install(CODE "
    set(LURN_DATA_DIR \"${PROJECT_SOURCE_DIR}/data\")
    set(LURN_SESSION_WORK_DIR \"${PROJECT_BINARY_DIR}/session-files\")
    set(LURN_INSTALL_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    set(LURN_INSTALL_DOCDIR \"${LURN_INSTALL_DOCDIR}\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallSessionFiles.cmake)

install(FILES ${PROJECT_SOURCE_DIR}/data/example.lurn.Lurn.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
