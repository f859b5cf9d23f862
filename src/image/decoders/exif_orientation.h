#pragma once
// How the camera says a stored picture must be turned to stand upright: the Orientation tag of
// an Exif block, 1 (as stored) to 8.

#include <cstddef>
#include <cstdint>

constexpr int32_t OrientationAsStored = 1;

// The orientation that an APP1 block records (the marker's bytes after its length field).
// Anything that is not an intact Exif block with a one-SHORT tag of 1 to 8 gives 1; nothing
// outside the size bytes is read.
int32_t ExifOrientation(const uint8_t* block, size_t size);

// True when an APP1 block starts with the Exif identifier.
bool IsExifBlock(const uint8_t* block, size_t size);

// Orientations 5 to 8 show the stored rows as columns.
constexpr bool OrientationSwapsSides(int32_t orientation) {
    return orientation >= 5 && orientation <= 8;
}
