#pragma once
// Turns or mirrors a decoded picture so that it stands as its Exif orientation asks.

#include <cstdint>
#include "image/dib_image.h"

// Orientation 1 to 8 (see exif_orientation.h); any other value leaves the picture as it is.
// Mirrors and half turns work in place; quarter turns and diagonal mirrors build the picture
// anew and return false, with the picture unchanged, when that buffer cannot be had.
bool OrientPicture(DibImage* image, int32_t orientation);
