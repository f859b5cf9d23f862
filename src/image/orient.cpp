#include "image/orient.h"

#include <algorithm>
#include <cstring>
#include "image/decoders/exif_orientation.h"

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

}  // namespace

void OrientInPlace(DibImage* image, int32_t orientation) {
    if (image->pixels == nullptr) {
        return;
    }
    if (orientation == 2) {
        MirrorLeftRight(image);
    } else if (orientation == 3) {
        TurnHalf(image);
    } else if (orientation == 4) {
        MirrorTopBottom(image);
    }
}

void PlaceTurnedRows(DibImage* image, const uint8_t* rows, size_t rowBytes, int32_t first,
                     int32_t count, int32_t orientation) {
    // Stored pixel (x, y) of a W x H picture is shown at (y or H-1-y, x or W-1-x): the first
    // stored row becomes the left column (5, 8) or the right one (6, 7), the first stored
    // column the top row (5, 6) or the bottom one (7, 8).
    if (count < 1) {
        return;
    }
    const bool rowsFromRight = orientation == 6 || orientation == 7;
    const bool columnsFromBottom = orientation == 7 || orientation == 8;
    const int32_t storedWidth = image->height;
    const int32_t storedHeight = image->width;
    const int32_t firstColumn = rowsFromRight ? storedHeight - first - count : first;
    const ptrdiff_t next =
        rowsFromRight ? -static_cast<ptrdiff_t>(rowBytes) : static_cast<ptrdiff_t>(rowBytes);
    const uint8_t* firstRow =
        rows + (rowsFromRight ? static_cast<size_t>(count - 1) * rowBytes : 0);
    // One stored column of the band fills a run of one shown row, left to right, four bytes
    // at a time: the fourth is overwritten by the next pixel of the run.
    for (int32_t x = 0; x < storedWidth; ++x) {
        uint8_t* d = Row(image, columnsFromBottom ? storedWidth - 1 - x : x) + 3 * firstColumn;
        const uint8_t* s = firstRow + 3 * static_cast<size_t>(x);
        for (int32_t k = 1; k < count; ++k, d += 3, s += next) {
            std::memcpy(d, s, 4);
        }
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

bool OrientPicture(DibImage* image, int32_t orientation) {
    if (!OrientationSwapsSides(orientation)) {
        OrientInPlace(image, orientation);
        return true;
    }
    // The stored rows are read one byte past their last pixel.
    const size_t bytes = static_cast<size_t>(image->stride) * static_cast<size_t>(image->height);
    uint8_t* stored = image->TakeWork(bytes + 4);
    if (stored == nullptr || image->pixels == nullptr) {
        return false;
    }
    std::memcpy(stored, image->pixels, bytes);
    const int32_t storedWidth = image->width;
    const int32_t storedHeight = image->height;
    const size_t storedStride = static_cast<size_t>(image->stride);
    image->width = storedHeight;
    image->height = storedWidth;
    image->stride = DibStride(image->width);
    if (!image->TakePixels(static_cast<size_t>(image->stride) *
                           static_cast<size_t>(image->height))) {
        return false;
    }
    PlaceTurnedRows(image, stored, storedStride, 0, storedHeight, orientation);
    return true;
}
