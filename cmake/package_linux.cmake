# The Debian package, made from the install rules: cmake --build build/linux --target package
# writes fotovane_<version>_amd64.deb into the build folder.
set(FV_PACKAGE_MAINTAINER "Fotovane maintainers <maintainers@users.noreply.c-seed-7cf9662a.example>"
    CACHE STRING "The Debian package's Maintainer field")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fotovane)
# A native package: this project is its own upstream, so the version has no Debian revision.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The hosts look under /usr only, whatever prefix the build folder installs to.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FV_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the libraries the program links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xscreensaver | xsecurelock")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "picture screen saver for X11")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Fotovane shows the pictures of a folder (JPEG, PNG, WebP and HEIC) as a
slide show or as a collage, full screen or smaller, centered or scattered, in
folder order or shuffled.
.
It runs by itself, as an XScreenSaver hack with its own settings page, or as
an xsecurelock saver.")
include(CPack)
