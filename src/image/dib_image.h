#pragma once
// One picture as a 24-bit top-down device-independent bitmap (rows top first, blue-green-red,
// rows padded to four bytes), plus the 8-bit palette copy that few-colour displays draw.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "app/platform_types.h"

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

// The show decodes every frame into the same object: Release keeps the memory of the pixels and
// of the scaler's work, and the next picture reuses it, so that each frame does not fault tens
// of megabytes of fresh pages in again. The blocks go back to the system when the object ends.
class DibImage {
  public:
    DibImage() { Init(); }
    ~DibImage() { FreeMemory(); }
    DibImage(const DibImage&) = delete;
    DibImage& operator=(const DibImage&) = delete;

    void Init();
    void Release();
    void FreeMemory();  // Release, and give the kept blocks back
    void Decode(FILE* stream, int32_t targetWidth, int32_t targetHeight, SizeRule rule);
    void Scale(int32_t boxWidth, int32_t boxHeight, ScaleType type);
    void MakeHeader();
    void Draw(DrawContext dc, int32_t x, int32_t y);  // platform code
    void Dither();
    void QuantizeToPalette();

    void FitToBox(int32_t boxWidth, int32_t boxHeight);
    void Halve();

    // Points pixels at the kept block, grown to at least bytes first; false (and no pixels)
    // when that memory cannot be had.
    bool TakePixels(size_t bytes);
    // The scaler's work area of at least bytes, kept in the same way; null without memory.
    uint8_t* TakeWork(size_t bytes);

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
    uint8_t* pixelBlock;  // pixels, when present, point here
    size_t pixelBlockBytes;
    uint8_t* workBlock;
    size_t workBlockBytes;
};
