#pragma once
// Pieces of Decode that tests and tools use on their own.

#include <cstdint>
#include "image/dib_image.h"
#include "image/decoders/jpeg_library.h"

// The DCT reduction (1, 2, 4 or 8) for a W x H picture and a target box: the smallest that
// leaves the picture within one and a half times the box, 8 when none does.
int32_t ScaleDenominator(int64_t imageWidth, int64_t imageHeight, int32_t targetWidth,
                         int32_t targetHeight, SizeRule rule);

// Four-component library rows (CMYK, stored inverted when the file carries Adobe's marker,
// as Photoshop writes them) into blue-green-red pixels.
void ConvertCmykRow(const uint8_t* src, uint8_t* dst, int32_t width, bool inverted);

// The source Decode reads through, for tools that read a header themselves: 32768-byte blocks,
// a stop answered at every block, and the file taken as ending where reading on yields nothing.
void UseStreamSource(j_decompress_ptr cinfo, FILE* stream);
