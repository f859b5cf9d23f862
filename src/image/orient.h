#pragma once
// Puts a decoded picture the way its Exif orientation asks it to be shown.

#include <cstddef>
#include <cstdint>
#include "image/dib_image.h"

// Mirrors and the half turn (orientations 2, 3, 4), in place; other values change nothing.
void OrientInPlace(DibImage* image, int32_t orientation);

// Quarter turns and diagonal mirrors (orientations 5 to 8) are placed row by row as the
// decoder delivers them: stored rows first to first + count - 1, blue-green-red pixels with
// rowBytes from one row to the next, go to their shown places in image, which already has the
// shown shape (as many rows as a stored row has pixels). A stored row may be read one byte
// past its last pixel.
void PlaceTurnedRows(DibImage* image, const uint8_t* rows, size_t rowBytes, int32_t first,
                     int32_t count, int32_t orientation);

// Any orientation (1 to 8) on a whole decoded picture; quarter turns go through the picture's
// work block and leave it with the shown shape. False when memory is short.
bool OrientPicture(DibImage* image, int32_t orientation);
