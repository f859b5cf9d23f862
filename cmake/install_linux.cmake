# Installs the Linux saver where XScreenSaver and xsecurelock look for it (Debian's layout):
#   libexec/xscreensaver/fotovane, share/xscreensaver/config/fotovane.xml,
#   libexec/xsecurelock/saver_fotovane and bin/fotovane, links to the program,
#   the manual page and the copyright notice.
# The same rules fill the Debian package (cmake/package_linux.cmake).
if(WIN32 OR NOT TARGET fotovane)
    return()
endif()

# Both hosts search /usr only, so that is the default here too.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix" FORCE)
endif()
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/package_linux.cmake)

set(fv_staged ${CMAKE_BINARY_DIR}/install-files)
file(MAKE_DIRECTORY ${fv_staged})

# The links are made here and installed as files, so that install_manifest.txt lists them.
# Relative, so that the tree works under DESTDIR and any prefix.
file(CREATE_LINK ../xscreensaver/fotovane ${fv_staged}/saver_fotovane SYMBOLIC)
file(CREATE_LINK ../${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver/fotovane ${fv_staged}/fotovane
     SYMBOLIC)

# Debian's man and the package checker expect compressed pages and changelogs; -n keeps the
# output the same from one build to the next.
find_program(FV_GZIP gzip REQUIRED)
set(fv_doc ${PROJECT_SOURCE_DIR}/packaging)
configure_file(${fv_doc}/changelog ${fv_staged}/changelog @ONLY)
foreach(source ${fv_doc}/fotovane.6 ${fv_staged}/changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(OUTPUT ${fv_staged}/${name}.gz
        COMMAND ${FV_GZIP} -9nc ${source} > ${fv_staged}/${name}.gz
        DEPENDS ${source} VERBATIM)
    list(APPEND fv_compressed ${fv_staged}/${name}.gz)
endforeach()
add_custom_target(fotovane_docs DEPENDS ${fv_compressed})
# Built with the program, so that installing after building only it works.
add_dependencies(fotovane fotovane_docs)

install(TARGETS fotovane RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
install(FILES ${PROJECT_SOURCE_DIR}/config/fotovane.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
install(FILES ${fv_staged}/saver_fotovane DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xsecurelock)
install(FILES ${fv_staged}/fotovane DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${fv_staged}/fotovane.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${fv_doc}/copyright ${fv_staged}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/fotovane)
