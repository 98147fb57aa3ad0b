# The Debian package: `cpack -G DEB` in a build folder (after building) makes
# tidewatch_<version>_<arch>.deb from the install rules. Its Depends line comes from
# dpkg-shlibdeps (dpkg-dev) over the installed programs.
set(CPACK_PACKAGE_NAME "tidewatch")
set(CPACK_PACKAGE_VENDOR "${TIDEWATCH_ORGANIZATION}")
set(CPACK_PACKAGE_CONTACT "Kestrel <hello@kestrel.software>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines short enough for dpkg and apt to show them unwrapped.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Tidewatch shows which local processes listen for TCP connections (port,"
    "process id, process name, user and addresses) in a panel at its tray icon,"
    "and keeps the list fresh every five seconds. From a row you open the port in"
    "the browser or ask the process to end. The command-line tool tidewatch-ports"
    "prints the same list as a table or as JSON.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kestrel.software/tidewatch")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own strings (dialog buttons, the command line's "Usage:") in the user's language, and
# the ssh that other machines are listed through.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, openssh-client")

include(CPack)
