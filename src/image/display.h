#pragma once
// How pictures are adapted to the display: the depth flags, the ordered-dither offsets for
// 15/16-bit displays and the fixed palette for displays of 8 bits or fewer.

#include <cstdint>
#include "base/platform_types.h"

class DibImage;

constexpr int PaletteColours = 236;

extern int32_t highColourDisplay;  // 15 or 16 bits per pixel: Draw dithers
extern int32_t paletteDisplay;     // 8 bits or fewer: Draw uses indexPixels and showPalette
extern PaletteHandle showPalette;
extern int32_t ditherBlue[256];
extern int32_t ditherGreen[256];
extern int32_t ditherRed[256];

// Reads the display depth, sets the flags, builds the dither tables and the palette (platform
// code, like ReleaseDisplay, which frees what it holds).
void PrepareDisplay();
void ReleaseDisplay();
// The flags for a display of `depth` bits per pixel whose pixels are colours themselves
// (`directColour`) or indices into a colormap; builds the dither tables.
void ChooseDisplayAdaptation(int32_t depth, int32_t directColour);
void BuildDitherTables();
// Adapts the picture to the display, once per picture: the palette's indices on palette
// displays, the ordered dither on 15- and 16-bit ones. Nonzero when it can be drawn.
int32_t AdaptToDisplay(DibImage& image);

// One colour of showPalette, laid out as a Windows PALETTEENTRY.
struct ShowPaletteEntry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t flags;
};
constexpr uint8_t PaletteNoCollapse = 4;  // PC_NOCOLLAPSE

// The colours of showPalette: the one-pass quantizer's colour map, then black. Returns 0 when
// the library fails (out of memory), leaving the entries unspecified.
int32_t BuildShowPaletteEntries(ShowPaletteEntry entries[PaletteColours]);

// The 16 x 16 ordered-dither matrix, row-major.
extern const int32_t BayerMatrix[256];
