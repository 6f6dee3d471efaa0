# Run by `cmake --install` (see SessionStart.cmake) once the prefix is known:
# the unit and the autostart entry, naming the installed executable.
set(prefix "${CMAKE_INSTALL_PREFIX}")
# As GNUInstallDirs has it: with the /usr prefix, configuration lives in /etc.
if(prefix STREQUAL "/usr")
    set(sysconfdir "/etc")
else()
    set(sysconfdir "${prefix}/etc")
endif()
set(LURN_EXECUTABLE "${prefix}/${LURN_INSTALL_BINDIR}/lurn")
set(LURN_README "${prefix}/${LURN_INSTALL_DOCDIR}/README.md")

configure_file(${LURN_DATA_DIR}/lurn.service.in ${LURN_SESSION_WORK_DIR}/lurn.service @ONLY)
configure_file(${LURN_DATA_DIR}/lurn-autostart.desktop.in
    ${LURN_SESSION_WORK_DIR}/lurn-autostart.desktop @ONLY)

# systemd looks for user units in <prefix>/lib/systemd/user for /usr and
# /usr/local; desktops look for autostart entries in $XDG_CONFIG_DIRS
# (/etc/xdg) and ~/.config/autostart.
file(INSTALL DESTINATION "${prefix}/lib/systemd/user" TYPE FILE
    FILES ${LURN_SESSION_WORK_DIR}/lurn.service)
file(INSTALL DESTINATION "${sysconfdir}/xdg/autostart" TYPE FILE
    FILES ${LURN_SESSION_WORK_DIR}/lurn-autostart.desktop)
