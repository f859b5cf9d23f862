#pragma once
// Decoding straight into a picture shown with a quarter turn or a diagonal mirror.

#include <cstddef>
#include <cstdint>
#include "image/dib_image.h"
#include "image/decoders/jpeg_library.h"

constexpr int32_t TurnBandRows = 16;  // covers the library's largest output group

// Bytes of the band of rows that ReadTurned passes through, for the library's output width.
constexpr size_t TurnBandBytes(JDIMENSION outputWidth) {
    return static_cast<size_t>(TurnBandRows) * outputWidth * 4;
}

// Reads every remaining row into its shown place in image (allocated with the shown shape)
// through band. Output of four components is converted as the stored colours say.
void ReadTurned(DibImage* image, jpeg_decompress_struct* cinfo, uint8_t* band, int32_t orientation,
                bool adobeInverted);
