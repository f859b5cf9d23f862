#pragma once
// Turns the show's 24-bit rows into the pixels of a window system's visual: direct colour by
// channel masks, or palette indices through a table of the colours' pixel values.

#include <cstdint>
#include "image/display.h"

// Where one 8-bit channel lands in a pixel value.
struct ChannelPlace {
    int32_t shift;  // lowest bit of the mask
    int32_t bits;   // width of the mask
};

struct PixelLayout {
    ChannelPlace red;
    ChannelPlace green;
    ChannelPlace blue;
    int32_t bytesPerPixel;  // 1, 2, 3 or 4; values are stored in the host's byte order
    uint32_t opaqueBits;    // set in every pixel: the alpha of a 32-bit visual
};

ChannelPlace PlaceOfMask(uint32_t mask);
PixelLayout LayoutOfMasks(uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                          int32_t bitsPerPixel);

// The bits of a depth that no colour mask covers (alpha): set, so that the pixels are opaque.
uint32_t OpaqueBits(int32_t depth, uint32_t redMask, uint32_t greenMask, uint32_t blueMask);

// A channel value cut (or widened) to the mask's width, at the mask's place.
uint32_t PackChannel(uint32_t value, ChannelPlace place);

// One row of blue-green-red pixels into `out`, width pixels of layout.bytesPerPixel bytes.
void PackRow(const uint8_t* bgr, int32_t width, const PixelLayout& layout, uint8_t* out);
// One row of palette indices through the table of pixel values.
void PackIndexRow(const uint8_t* indices, int32_t width, const uint32_t* pixelOfIndex,
                  int32_t bytesPerPixel, uint8_t* out);

struct RgbColour {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// The colour that index i of the quantizer's output stands for. The quantizer works on rows in
// blue-green-red order, so the entry's first component is the picture's blue.
RgbColour PaletteColourOf(const ShowPaletteEntry& entry);
// The colour nearest to `want` (squared distance), first of equals; -1 when there are none.
int32_t NearestColour(RgbColour want, const RgbColour* available, int32_t count);
