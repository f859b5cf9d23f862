# The picture libraries beside JPEG: fv_png, fv_webp (with its demuxer) and fv_heif.
# Natively Debian's development packages through pkg-config.

find_package(PkgConfig REQUIRED)
pkg_check_modules(FV_PNG REQUIRED IMPORTED_TARGET GLOBAL libpng)
pkg_check_modules(FV_WEBP REQUIRED IMPORTED_TARGET GLOBAL libwebp libwebpdemux)
pkg_check_modules(FV_HEIF REQUIRED IMPORTED_TARGET GLOBAL libheif)

add_library(fv_png INTERFACE IMPORTED GLOBAL)
target_link_libraries(fv_png INTERFACE PkgConfig::FV_PNG)
add_library(fv_webp INTERFACE IMPORTED GLOBAL)
target_link_libraries(fv_webp INTERFACE PkgConfig::FV_WEBP)
add_library(fv_heif INTERFACE IMPORTED GLOBAL)
target_link_libraries(fv_heif INTERFACE PkgConfig::FV_HEIF)
