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
