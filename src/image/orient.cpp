#include "image/orient.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace {

inline void SwapPixels(uint8_t* a, uint8_t* b) {
    std::swap(a[0], b[0]);
    std::swap(a[1], b[1]);
    std::swap(a[2], b[2]);
}

uint8_t* Row(DibImage* image, int32_t y) {
    return image->pixels + static_cast<size_t>(y) * static_cast<size_t>(image->stride);
}

void MirrorRow(uint8_t* row, int32_t width) {
    for (int32_t x = 0, r = width - 1; x < r; ++x, --r) {
        SwapPixels(row + 3 * x, row + 3 * r);
    }
}

void MirrorLeftRight(DibImage* image) {
    for (int32_t y = 0; y < image->height; ++y) {
        MirrorRow(Row(image, y), image->width);
    }
}

void MirrorTopBottom(DibImage* image) {
    const size_t bytes = static_cast<size_t>(image->width) * 3;
    for (int32_t y = 0, r = image->height - 1; y < r; ++y, --r) {
        std::swap_ranges(Row(image, y), Row(image, y) + bytes, Row(image, r));
    }
}

void TurnHalf(DibImage* image) {
    const int32_t w = image->width;
    for (int32_t y = 0, r = image->height - 1; y < r; ++y, --r) {
        uint8_t* top = Row(image, y);
        uint8_t* bottom = Row(image, r);
        for (int32_t x = 0; x < w; ++x) {
            SwapPixels(top + 3 * x, bottom + 3 * (w - 1 - x));
        }
    }
    if (image->height % 2 == 1) {
        MirrorRow(Row(image, image->height / 2), w);
    }
}

// Stored pixel (x, y) of a W x H picture lands at (y or H-1-y, x or W-1-x) of the H x W one:
// the first stored row becomes the left or right column, the first stored column the top or
// bottom row. Square tiles keep the rows being written few enough to stay in the cache.
constexpr int32_t TileSide = 32;

void Transpose(const DibImage& from, uint8_t* to, int32_t toStride, bool rowsFromRight,
               bool columnsFromBottom) {
    const int32_t w = from.width;
    const int32_t h = from.height;
    const ptrdiff_t step = columnsFromBottom ? -static_cast<ptrdiff_t>(toStride) : toStride;
    for (int32_t ty = 0; ty < h; ty += TileSide) {
        const int32_t yEnd = std::min(h, ty + TileSide);
        for (int32_t tx = 0; tx < w; tx += TileSide) {
            const int32_t xEnd = std::min(w, tx + TileSide);
            const size_t firstRow = static_cast<size_t>(columnsFromBottom ? w - 1 - tx : tx);
            for (int32_t y = ty; y < yEnd; ++y) {
                const uint8_t* s = from.pixels +
                                   static_cast<size_t>(y) * static_cast<size_t>(from.stride) +
                                   3 * static_cast<size_t>(tx);
                const int32_t column = rowsFromRight ? h - 1 - y : y;
                uint8_t* d = to + firstRow * static_cast<size_t>(toStride) + 3 * column;
                for (int32_t x = tx; x < xEnd; ++x, s += 3, d += step) {
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                }
            }
        }
    }
}

bool TurnQuarter(DibImage* image, bool rowsFromRight, bool columnsFromBottom) {
    const int32_t newWidth = image->height;
    const int32_t newHeight = image->width;
    const int32_t newStride = DibStride(newWidth);
    uint8_t* turned = static_cast<uint8_t*>(
        std::malloc(static_cast<size_t>(newStride) * static_cast<size_t>(newHeight)));
    if (turned == nullptr) {
        return false;
    }
    Transpose(*image, turned, newStride, rowsFromRight, columnsFromBottom);
    std::free(image->pixels);
    image->pixels = turned;
    image->width = newWidth;
    image->height = newHeight;
    image->stride = newStride;
    return true;
}

}  // namespace

bool OrientPicture(DibImage* image, int32_t orientation) {
    if (image->pixels == nullptr || image->width < 1 || image->height < 1) {
        return true;
    }
    switch (orientation) {
        case 2:
            MirrorLeftRight(image);
            return true;
        case 3:
            TurnHalf(image);
            return true;
        case 4:
            MirrorTopBottom(image);
            return true;
        case 5:
            return TurnQuarter(image, false, false);
        case 6:
            return TurnQuarter(image, true, false);
        case 7:
            return TurnQuarter(image, true, true);
        case 8:
            return TurnQuarter(image, false, true);
        default:
            return true;
    }
}
