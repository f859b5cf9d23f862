#include "image/display.h"

#include "image/dib_image.h"

int32_t highColourDisplay = 0;
int32_t paletteDisplay = 0;
PaletteHandle showPalette = nullptr;
int32_t ditherBlue[256];
int32_t ditherGreen[256];
int32_t ditherRed[256];

// Bayer's order-4 matrix: bit b of the row and column picks P[r_b][j_b] of [[0, 3], [2, 1]],
// weighted 64 for bit 0 down to 1 for bit 3.
// clang-format off
const int32_t BayerMatrix[256] = {
      0, 192,  48, 240,  12, 204,  60, 252,   3, 195,  51, 243,  15, 207,  63, 255,
    128,  64, 176, 112, 140,  76, 188, 124, 131,  67, 179, 115, 143,  79, 191, 127,
     32, 224,  16, 208,  44, 236,  28, 220,  35, 227,  19, 211,  47, 239,  31, 223,
    160,  96, 144,  80, 172, 108, 156,  92, 163,  99, 147,  83, 175, 111, 159,  95,
      8, 200,  56, 248,   4, 196,  52, 244,  11, 203,  59, 251,   7, 199,  55, 247,
    136,  72, 184, 120, 132,  68, 180, 116, 139,  75, 187, 123, 135,  71, 183, 119,
     40, 232,  24, 216,  36, 228,  20, 212,  43, 235,  27, 219,  39, 231,  23, 215,
    168, 104, 152,  88, 164, 100, 148,  84, 171, 107, 155,  91, 167, 103, 151,  87,
      2, 194,  50, 242,  14, 206,  62, 254,   1, 193,  49, 241,  13, 205,  61, 253,
    130,  66, 178, 114, 142,  78, 190, 126, 129,  65, 177, 113, 141,  77, 189, 125,
     34, 226,  18, 210,  46, 238,  30, 222,  33, 225,  17, 209,  45, 237,  29, 221,
    162,  98, 146,  82, 174, 110, 158,  94, 161,  97, 145,  81, 173, 109, 157,  93,
     10, 202,  58, 250,   6, 198,  54, 246,   9, 201,  57, 249,   5, 197,  53, 245,
    138,  74, 186, 122, 134,  70, 182, 118, 137,  73, 185, 121, 133,  69, 181, 117,
     42, 234,  26, 218,  38, 230,  22, 214,  41, 233,  25, 217,  37, 229,  21, 213,
    170, 106, 154,  90, 166, 102, 150,  86, 169, 105, 153,  89, 165, 101, 149,  85,
};
// clang-format on

void BuildDitherTables() {
    for (int32_t k = 0; k < 256; ++k) {
        ditherBlue[k] = BayerMatrix[k] / 32 - 4;
        ditherGreen[k] = BayerMatrix[(k + 256 - 85) % 256] / 32 - 4;
        ditherRed[k] = BayerMatrix[(k + 85) % 256] / 32 - 4;
    }
}

void ChooseDisplayAdaptation(int32_t depth, int32_t directColour) {
    highColourDisplay = directColour && (depth == 15 || depth == 16);
    BuildDitherTables();
    paletteDisplay = !directColour || depth <= 8;
}

int32_t AdaptToDisplay(DibImage& image) {
    if (!image.loaded || image.pixels == nullptr || image.failed) {
        return 0;
    }
    if (paletteDisplay) {
        if (image.indexPixels == nullptr) {
            image.QuantizeToPalette();
        }
        return image.indexPixels != nullptr;
    }
    if (highColourDisplay) {
        image.Dither();
    }
    return 1;
}

void DibImage::Dither() {
    if (dithered) {
        return;
    }
    dithered = 1;
    if (pixels == nullptr) {
        return;
    }
    // Sixteen pixels of offsets per row, laid out like the pixels, so the inner loop is a
    // plain saturating add over bytes.
    int16_t offsets[48];
    const int32_t bytes = 3 * width;
    for (int32_t r = 0; r < height; ++r) {
        const int32_t base = (r % 16) * 16;
        for (int32_t n = 0; n < 16; ++n) {
            offsets[3 * n] = static_cast<int16_t>(ditherBlue[base + n]);
            offsets[3 * n + 1] = static_cast<int16_t>(ditherGreen[base + n]);
            offsets[3 * n + 2] = static_cast<int16_t>(ditherRed[base + n]);
        }
        uint8_t* row = pixels + static_cast<size_t>(r) * static_cast<size_t>(stride);
        int32_t i = 0;
        for (; i + 48 <= bytes; i += 48) {
            for (int32_t k = 0; k < 48; ++k) {
                int16_t v = static_cast<int16_t>(row[i + k] + offsets[k]);
                v = v < 0 ? 0 : v;
                v = v > 255 ? 255 : v;
                row[i + k] = static_cast<uint8_t>(v);
            }
        }
        for (int32_t k = 0; i < bytes; ++i, ++k) {
            int16_t v = static_cast<int16_t>(row[i] + offsets[k]);
            v = v < 0 ? 0 : v;
            v = v > 255 ? 255 : v;
            row[i] = static_cast<uint8_t>(v);
        }
    }
}
