# The PNG, WebP and HEIF libraries as fv_png, fv_webp (with demux) and fv_heif: Debian's
# shared libraries natively, the static ones scripts/bootstrap.sh cross-builds for Windows.

foreach(lib ZLIB PNG WEBP DE265 HEIF)
    set(FV_${lib}_PREFIX "" CACHE PATH "Install prefix of the ${lib} library built for Windows")
endforeach()

if(WIN32)
    # Path of FILE under the prefix in VAR, or a stop naming what is missing.
    function(fv_prefixed_file out var file)
        if(NOT ${var} OR NOT EXISTS "${${var}}/${file}")
            message(FATAL_ERROR "No ${file} in '${${var}}' (${var}): run scripts/bootstrap.sh "
                                "and configure with the windows preset")
        endif()
        set(${out} "${${var}}/${file}" PARENT_SCOPE)
    endfunction()

    fv_prefixed_file(zlib_archive FV_ZLIB_PREFIX lib/libz.a)
    fv_prefixed_file(png_archive FV_PNG_PREFIX lib/libpng16.a)
    fv_prefixed_file(webp_archive FV_WEBP_PREFIX lib/libwebp.a)
    fv_prefixed_file(webpdemux_archive FV_WEBP_PREFIX lib/libwebpdemux.a)
    fv_prefixed_file(de265_archive FV_DE265_PREFIX lib/libde265.a)
    fv_prefixed_file(heif_archive FV_HEIF_PREFIX lib/libheif.a)

    # Each archive is followed by the archives it calls into: static links resolve left to right.
    add_library(fv_png STATIC IMPORTED GLOBAL)
    set_target_properties(fv_png PROPERTIES
        IMPORTED_LOCATION "${png_archive}"
        INTERFACE_INCLUDE_DIRECTORIES "${FV_PNG_PREFIX}/include/libpng16;${FV_ZLIB_PREFIX}/include"
        INTERFACE_LINK_LIBRARIES "${zlib_archive}")

    add_library(fv_webp STATIC IMPORTED GLOBAL)
    set_target_properties(fv_webp PROPERTIES
        IMPORTED_LOCATION "${webpdemux_archive}"
        INTERFACE_INCLUDE_DIRECTORIES "${FV_WEBP_PREFIX}/include"
        INTERFACE_LINK_LIBRARIES "${webp_archive}")

    # libheif is C++ and starts threads (std::async for tiles, libde265's own worker);
    # the headers' static defines keep them from expecting DLL imports.
    find_package(Threads REQUIRED)
    add_library(fv_heif STATIC IMPORTED GLOBAL)
    set_target_properties(fv_heif PROPERTIES
        IMPORTED_LOCATION "${heif_archive}"
        IMPORTED_LINK_INTERFACE_LANGUAGES CXX
        INTERFACE_INCLUDE_DIRECTORIES "${FV_HEIF_PREFIX}/include;${FV_DE265_PREFIX}/include"
        INTERFACE_COMPILE_DEFINITIONS "LIBHEIF_STATIC_BUILD;LIBDE265_STATIC_BUILD"
        INTERFACE_LINK_LIBRARIES "${de265_archive};Threads::Threads")
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(FV_PNG_PC REQUIRED IMPORTED_TARGET GLOBAL libpng16)
    pkg_check_modules(FV_WEBP_PC REQUIRED IMPORTED_TARGET GLOBAL libwebpdemux libwebp)
    pkg_check_modules(FV_HEIF_PC REQUIRED IMPORTED_TARGET GLOBAL libheif)
    add_library(fv_png INTERFACE IMPORTED GLOBAL)
    target_link_libraries(fv_png INTERFACE PkgConfig::FV_PNG_PC)
    add_library(fv_webp INTERFACE IMPORTED GLOBAL)
    target_link_libraries(fv_webp INTERFACE PkgConfig::FV_WEBP_PC)
    add_library(fv_heif INTERFACE IMPORTED GLOBAL)
    target_link_libraries(fv_heif INTERFACE PkgConfig::FV_HEIF_PC)
endif()
