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
endif()

# The Linux program: the same show on X11, standalone or inside a screen-saver host's window.
# Not in the fuzz build, whose libraries carry the fuzzer's instrumentation.
if(NOT WIN32 AND NOT FV_FUZZ)
    find_package(X11 REQUIRED)
    add_executable(fotovane app/main_x11.cpp app/show_windows_x11.cpp app/monitors_x11.cpp
                            app/termination_posix.cpp)
    set_target_properties(fotovane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    target_link_libraries(fotovane PRIVATE fv_app fv_show fv_image fv_settings
                                           X11::X11 X11::Xext X11::Xrandr X11::Xinerama)
    target_compile_definitions(fotovane PRIVATE FV_VERSION="${PROJECT_VERSION}")
    fv_warnings(fotovane)
endif()
