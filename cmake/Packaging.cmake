# The Debian package: `cpack -G DEB` in the release build (see the README).
#
# dpkg-shlibdeps finds the libraries the executable links. What the program
# loads at run time it cannot see; every part of the program that needs such a
# package names it, from any directory, with
#   set_property(GLOBAL APPEND PROPERTY LURN_DEB_RUNTIME_DEPENDS <package>)
# and this file, included last by the top CMakeLists.txt, adds them all.

# Qt's xcb platform plugin: without it Qt cannot show a window at all.
set_property(GLOBAL APPEND PROPERTY LURN_DEB_RUNTIME_DEPENDS qt6-qpa-plugins)

get_property(lurn_runtime_depends GLOBAL PROPERTY LURN_DEB_RUNTIME_DEPENDS)
list(REMOVE_DUPLICATES lurn_runtime_depends)
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${lurn_runtime_depends})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_PACKAGE_NAME lurn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lurn")
set(CPACK_PACKAGE_CONTACT "Lurn <soporte@lurn.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "session timer that ends the listed programs when a customer's time is up")
set(CPACK_PACKAGE_DESCRIPTION
    "Lurn is a session timer for the rented PCs of an internet cafe. The operator
lists the programs to end by a part of their window titles, sets a countdown,
a warning and two hourly rates, and locks Lurn with a password. When the time
is up every window whose title contains a listed name is asked to close.
A systemd user unit and an autostart entry keep it running for the session.")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The install runs with the package's prefix (/usr) and a staging DESTDIR,
# so that files naming installed paths name the right ones, and /etc stays /etc.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

# Files under /etc are the administrator's to change: an upgrade keeps them.
# Parts that install more of them add them to LURN_DEB_CONFFILES, and their
# maintainer scripts (postinst, postrm) to LURN_DEB_MAINTAINER_SCRIPTS.
set_property(GLOBAL APPEND PROPERTY LURN_DEB_CONFFILES /etc/xdg/autostart/lurn-autostart.desktop)
get_property(lurn_conffiles GLOBAL PROPERTY LURN_DEB_CONFFILES)
string(JOIN "\n" lurn_conffiles_text ${lurn_conffiles})
file(WRITE ${PROJECT_BINARY_DIR}/deb/conffiles "${lurn_conffiles_text}\n")
get_property(lurn_maintainer_scripts GLOBAL PROPERTY LURN_DEB_MAINTAINER_SCRIPTS)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/deb/conffiles
    ${lurn_maintainer_scripts})

include(CPack)
