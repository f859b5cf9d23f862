# Installs the Linux saver where XScreenSaver and xsecurelock look for it (Debian's layout):
#   libexec/xscreensaver/fotovane, share/xscreensaver/config/fotovane.xml and
#   libexec/xsecurelock/saver_fotovane, a link to the former.
if(WIN32 OR NOT TARGET fotovane)
    return()
endif()

# Both hosts search /usr only, so that is the default here too.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix" FORCE)
endif()
include(GNUInstallDirs)

install(TARGETS fotovane RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
install(FILES ${PROJECT_SOURCE_DIR}/config/fotovane.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
# A relative link, so that the tree works under DESTDIR and any prefix.
install(CODE "
    set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/xsecurelock\")
    file(MAKE_DIRECTORY \"\${dir}\")
    message(STATUS \"Installing: \${dir}/saver_fotovane\")
    file(CREATE_LINK ../xscreensaver/fotovane \"\${dir}/saver_fotovane\" SYMBOLIC)
")
