# The Windows product: Fotovane.scr, a self-contained GUI program.
if(WIN32)
    set(resources ${CMAKE_CURRENT_SOURCE_DIR}/resources/fotovane.rc
                  ${CMAKE_CURRENT_SOURCE_DIR}/resources/dialogs.rc)
    set(icon ${CMAKE_BINARY_DIR}/generated/fotovane.ico)
    add_custom_command(OUTPUT ${icon}
        COMMAND python3 ${PROJECT_SOURCE_DIR}/scripts/make_icon.py ${icon}
        DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make_icon.py
        COMMENT "Drawing the program icon")
    set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/resources/fotovane.rc PROPERTIES
        OBJECT_DEPENDS "${icon};${CMAKE_CURRENT_SOURCE_DIR}/resources/fotovane.manifest")
    add_executable(Fotovane WIN32 app/main_win32.cpp ${resources})
    target_include_directories(Fotovane PRIVATE ${CMAKE_BINARY_DIR}/generated
                                               ${CMAKE_CURRENT_SOURCE_DIR}/resources)
    set_target_properties(Fotovane PROPERTIES SUFFIX ".scr" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    target_link_libraries(Fotovane PRIVATE fv_app fv_dialogs fv_show fv_image fv_settings ole32)
    fv_warnings(Fotovane)

    # The installer, from Debian's wixl: cmake --build build/windows --target msi
    find_program(FV_WIXL wixl NO_CMAKE_FIND_ROOT_PATH)
    if(FV_WIXL)
        set(FV_MSI ${CMAKE_BINARY_DIR}/Fotovane-${PROJECT_VERSION}-x64.msi CACHE INTERNAL "")
        set(wxs ${PROJECT_SOURCE_DIR}/packaging/windows/fotovane.wxs)
        # wixl takes the files it packs by paths relative to where it runs.
        add_custom_command(OUTPUT ${FV_MSI}
            COMMAND ${FV_WIXL} -a x64 -D Version=${PROJECT_VERSION} -D Saver=Fotovane.scr
                    -D Icon=generated/fotovane.ico -o ${FV_MSI} ${wxs}
            WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
            DEPENDS Fotovane ${wxs} ${icon}
            COMMENT "Building the installer")
        add_custom_target(msi ALL DEPENDS ${FV_MSI})
    endif()
endif()
