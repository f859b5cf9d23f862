#pragma once
// One picture as a 24-bit top-down device-independent bitmap (rows top first, blue-green-red,
// rows padded to four bytes), plus the 8-bit palette copy that few-colour displays draw.

#include <cstdint>
#include <cstdio>
#include "base/platform_types.h"

// How Decode picks the DCT reduction: 1 and 2 fit towards the box, anything else decodes 1:1.
using SizeRule = int32_t;
constexpr SizeRule SizeRuleFit = 2;

// How Scale fits: 1 and 2 both fit into the box keeping the aspect ratio.
using ScaleType = int32_t;
constexpr ScaleType ScaleTypeFit = 2;

// BITMAPINFOHEADER followed by one RGBQUAD, laid out as Windows expects.
struct DibHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
    uint8_t colours[4];
};
static_assert(sizeof(DibHeader) == 44, "BITMAPINFO with one RGBQUAD");

// Bytes per row of the 24-bit pixels and of the 8-bit index copy.
constexpr int32_t DibStride(int32_t width) {
    return (3 * width + 3) & ~3;
}
constexpr int32_t IndexStride(int32_t width) {
    return (width + 3) & ~3;
}

class DibImage {
  public:
    DibImage() { Init(); }
    ~DibImage() { Release(); }
    DibImage(const DibImage&) = delete;
    DibImage& operator=(const DibImage&) = delete;

    void Init();
    void Release();
    void Decode(FILE* stream, int32_t targetWidth, int32_t targetHeight, SizeRule rule);
    void Scale(int32_t boxWidth, int32_t boxHeight, ScaleType type);
    void MakeHeader();
    void Draw(DrawContext dc, int32_t x, int32_t y);  // platform code
    void Dither();
    void QuantizeToPalette();

    void FitToBox(int32_t boxWidth, int32_t boxHeight);
    void Halve();

    int32_t height;
    int32_t width;
    int32_t stride;
    int32_t components;
    int32_t loaded;
    int32_t failed;
    int32_t dithered;
    uint8_t* pixels;
    uint8_t* indexPixels;
    DibHeader* header;
};
