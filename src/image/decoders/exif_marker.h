#pragma once
// Reading the Exif orientation while the library reads a file's header.

#include <cstdint>
#include "image/decoders/exif_orientation.h"
#include "image/decoders/jpeg_library.h"

struct ExifWatch {
    int32_t orientation = OrientationAsStored;
    bool found = false;  // the first Exif block counts
};

// Call before jpeg_read_header. The library then hands every APP1 marker to the watch, which
// reads the first Exif block into the library's image pool and skips every other marker:
// neither time nor memory grows with the number of markers beyond reading past them. Takes
// the decompressor's client_data.
void WatchExifOrientation(jpeg_decompress_struct* cinfo, ExifWatch* watch);
