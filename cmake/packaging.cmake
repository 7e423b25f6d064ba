# The Debian package: `cpack -G DEB` in the build folder (scripts/package does it). Its
# dependencies are read from the libraries the programs link, by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME postlint)
set(CPACK_PACKAGE_VENDOR "Postlint")
set(CPACK_PACKAGE_CONTACT "Postlint maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check the posts of a WordPress export for well-formed HTML")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Postlint reads a WordPress export (RSS 2.0 XML), parses the HTML body of every post as XML "
    "and lists the first fault of each post that is not well-formed, and the top-level links and "
    "images of the posts that are. A window shows both tables, sorts them and exports them as "
    "tab-delimited text; postlint-report runs the same check from the command line.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its plugins at run time, so no library the programs link names them: without the
# platform plugins the window cannot open, without the SVG ones it has no icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
