# Build-wide settings: warnings, sanitizers, the picture libraries and the platform switch.

if(WIN32)
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
    # One self-contained program: no MinGW runtime DLLs beside it.
    add_link_options(-static -static-libgcc -static-libstdc++)
    # The picture libraries carry megabytes of symbols the installed program never needs.
    add_link_options($<$<CONFIG:Release>:-s>)
endif()

if(FV_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# Warnings are errors on the project's own code only.
function(fv_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror)
endfunction()

# The JPEG library: the system's libjpeg-turbo natively, a cross-built static one for Windows.
if(FV_JPEG_PREFIX)
    add_library(fv_jpeg STATIC IMPORTED GLOBAL)
    set_target_properties(fv_jpeg PROPERTIES
        IMPORTED_LOCATION "${FV_JPEG_PREFIX}/lib/libjpeg.a"
        INTERFACE_INCLUDE_DIRECTORIES "${FV_JPEG_PREFIX}/include")
    if(NOT EXISTS "${FV_JPEG_PREFIX}/lib/libjpeg.a")
        message(FATAL_ERROR "No libjpeg in ${FV_JPEG_PREFIX}: run scripts/bootstrap.sh")
    endif()
else()
    find_package(JPEG REQUIRED)
    add_library(fv_jpeg INTERFACE IMPORTED GLOBAL)
    target_link_libraries(fv_jpeg INTERFACE JPEG::JPEG)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/picture_libraries.cmake)

# Adds a static library for one subsystem folder from its portable sources and the files
# of the current platform (WIN32, POSIX).
function(fv_subsystem name)
    cmake_parse_arguments(ARG "" "" "SOURCES;WIN32;POSIX;DEPS" ${ARGN})
    set(sources ${ARG_SOURCES})
    if(WIN32)
        list(APPEND sources ${ARG_WIN32})
    else()
        list(APPEND sources ${ARG_POSIX})
    endif()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    fv_warnings(${name})
endfunction()

if(FV_TESTS)
    if(WIN32)
        # Built from Debian's GoogleTest sources with the target's own compiler and flags.
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    else()
        find_package(GTest REQUIRED)
    endif()
    include(GoogleTest)
endif()

# Adds a GoogleTest program. Natively every case becomes a CTest test; under Wine the whole
# program is one test, so that a run pays for one Wine start per program, not per case.
function(fv_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    fv_warnings(${name})
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES LABELS "wine;${ARG_LABELS}")
    else()
        # Discovered tests take one label: the generated property list cannot carry a list.
        list(GET ARG_LABELS 0 label)
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${label}")
    endif()
endfunction()
