#include <cstdlib>
#include <cstring>
#include "app/trace.h"
#include "image/dib_image.h"
#include "image/sample_table.h"

void BuildSampleTable(int32_t source, int32_t target, SampleEntry* entries) {
    for (int32_t i = 0; i < target; ++i) {
        int64_t position = static_cast<int64_t>(i) * source;
        int32_t q = static_cast<int32_t>(position / target);
        int32_t r = static_cast<int32_t>(position % target);
        entries[i].nearIndex = q;
        entries[i].farIndex = q == source - 1 ? q : q + 1;
        entries[i].nearWeight =
            static_cast<int32_t>((static_cast<int64_t>(target) - r) * 256 / target);
        entries[i].farWeight = static_cast<int32_t>(static_cast<int64_t>(r) * 256 / target);
    }
}

namespace {

// Column offsets in bytes and 16-bit weights: the horizontal pass reads them once per pixel.
struct ColumnTaps {
    int32_t nearOffset;
    int32_t farOffset;
    uint32_t nearWeight;
    uint32_t farWeight;
};

void HorizontalRow(const uint8_t* src, uint8_t* dst, const ColumnTaps* taps, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* a = src + taps[i].nearOffset;
        const uint8_t* b = src + taps[i].farOffset;
        uint32_t wn = taps[i].nearWeight;
        uint32_t wf = taps[i].farWeight;
        dst[3 * i] = static_cast<uint8_t>((a[0] * wn + b[0] * wf) >> 8);
        dst[3 * i + 1] = static_cast<uint8_t>((a[1] * wn + b[1] * wf) >> 8);
        dst[3 * i + 2] = static_cast<uint8_t>((a[2] * wn + b[2] * wf) >> 8);
    }
}

// Weights add up to at most 256, so every sum fits 16 bits (255 * 256) and the loop runs in
// 16-bit vector lanes.
void VerticalRow(const uint8_t* __restrict nearRow, const uint8_t* __restrict farRow,
                 uint8_t* __restrict dst, uint16_t nearWeight, uint16_t farWeight, int32_t bytes) {
    for (int32_t k = 0; k < bytes; ++k) {
        uint16_t sum = static_cast<uint16_t>(nearRow[k] * nearWeight + farRow[k] * farWeight);
        dst[k] = static_cast<uint8_t>(sum >> 8);
    }
}

// The horizontal pass, one source row at a time, keeping the two rows that the vertical pass
// needs at any moment. Row indices only grow from one output row to the next, so a miss
// replaces the lower row, unless that is the row the caller still holds.
struct RowCache {
    uint8_t* rows[2];
    int32_t held[2];
};

const uint8_t* HorizontalPassRow(RowCache* cache, int32_t y, int32_t keep, const DibImage& image,
                                 const ColumnTaps* taps, int32_t count) {
    for (int s = 0; s < 2; ++s) {
        if (cache->held[s] == y) {
            return cache->rows[s];
        }
    }
    int slot = cache->held[0] <= cache->held[1] ? 0 : 1;
    if (cache->held[slot] == keep) {
        slot ^= 1;
    }
    HorizontalRow(image.pixels + static_cast<size_t>(y) * static_cast<size_t>(image.stride),
                  cache->rows[slot], taps, count);
    cache->held[slot] = y;
    return cache->rows[slot];
}

}  // namespace

void DibImage::Halve() {
    int32_t newWidth = width / 2;
    int32_t newHeight = height / 2;
    int32_t newStride = DibStride(newWidth);
    // In place: every output byte lies at or before the source bytes it is made from.
    for (int32_t y = 0; y < newHeight; ++y) {
        const uint8_t* s0 = pixels + static_cast<size_t>(2 * y) * static_cast<size_t>(stride);
        const uint8_t* s1 = s0 + stride;
        uint8_t* d = pixels + static_cast<size_t>(y) * static_cast<size_t>(newStride);
        for (int32_t x = 0; x < newWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                uint32_t sum =
                    s0[6 * x + c] + s0[6 * x + 3 + c] + s1[6 * x + c] + s1[6 * x + 3 + c];
                d[3 * x + c] = static_cast<uint8_t>(sum >> 2);
            }
        }
    }
    width = newWidth;
    height = newHeight;
    stride = newStride;
}

void DibImage::FitToBox(int32_t boxWidth, int32_t boxHeight) {
    int64_t twiceBoxWidth = 2 * static_cast<int64_t>(boxWidth);
    int64_t twiceBoxHeight = 2 * static_cast<int64_t>(boxHeight);
    while ((height > twiceBoxHeight || width > twiceBoxWidth) && height > 4 && width > 4) {
        Halve();
    }
    if (width < 1 || height < 1) {
        Release();
        loaded = 1;
        failed = 1;
        return;
    }

    int32_t w = width;
    int32_t h = height;
    int64_t newHeight = static_cast<int64_t>(h) * boxWidth / w;
    int64_t newWidth = boxWidth;
    if (newHeight > boxHeight) {
        newHeight = boxHeight;
        newWidth = static_cast<int64_t>(w) * boxHeight / h;
    }
    // A negative box is never asked for; it fits into nothing rather than into garbage.
    int32_t outWidth = newWidth > 0 ? static_cast<int32_t>(newWidth) : 0;
    int32_t outHeight = newHeight > 0 ? static_cast<int32_t>(newHeight) : 0;
    int32_t outStride = DibStride(outWidth);
    size_t rowBytes = static_cast<size_t>(outWidth) * 3;

    SampleEntry* columns = static_cast<SampleEntry*>(
        std::malloc(sizeof(SampleEntry) * static_cast<size_t>(outWidth + outHeight) + 1));
    ColumnTaps* taps = static_cast<ColumnTaps*>(
        std::malloc(sizeof(ColumnTaps) * static_cast<size_t>(outWidth) + 1));
    uint8_t* rowBuffers = static_cast<uint8_t*>(std::malloc(2 * rowBytes + 1));
    uint8_t* out = static_cast<uint8_t*>(
        std::malloc(static_cast<size_t>(outStride) * static_cast<size_t>(outHeight) + 1));
    if (columns == nullptr || taps == nullptr || rowBuffers == nullptr || out == nullptr) {
        Trace("scale: out of memory");
        std::free(columns);
        std::free(taps);
        std::free(rowBuffers);
        std::free(out);
        failed = 1;
        return;
    }
    SampleEntry* rows = columns + outWidth;
    BuildSampleTable(w, outWidth, columns);
    BuildSampleTable(h, outHeight, rows);
    for (int32_t i = 0; i < outWidth; ++i) {
        taps[i].nearOffset = 3 * columns[i].nearIndex;
        taps[i].farOffset = 3 * columns[i].farIndex;
        taps[i].nearWeight = static_cast<uint32_t>(columns[i].nearWeight);
        taps[i].farWeight = static_cast<uint32_t>(columns[i].farWeight);
    }

    RowCache cache = {{rowBuffers, rowBuffers + rowBytes}, {-1, -1}};
    for (int32_t j = 0; j < outHeight; ++j) {
        const SampleEntry& e = rows[j];
        const uint8_t* nearRow = HorizontalPassRow(&cache, e.nearIndex, -1, *this, taps, outWidth);
        // A zero weight needs no row; reusing the near one keeps the sum the same.
        const uint8_t* farRow =
            e.farWeight == 0
                ? nearRow
                : HorizontalPassRow(&cache, e.farIndex, e.nearIndex, *this, taps, outWidth);
        VerticalRow(nearRow, farRow, out + static_cast<size_t>(j) * static_cast<size_t>(outStride),
                    static_cast<uint16_t>(e.nearWeight), static_cast<uint16_t>(e.farWeight),
                    static_cast<int32_t>(rowBytes));
    }

    std::free(columns);
    std::free(taps);
    std::free(rowBuffers);
    std::free(pixels);
    pixels = out;
    width = outWidth;
    height = outHeight;
    stride = outStride;
}

void DibImage::Scale(int32_t boxWidth, int32_t boxHeight, ScaleType type) {
    if (!loaded || pixels == nullptr || failed) {
        return;
    }
    if (type == 1 || type == 2) {
        FitToBox(boxWidth, boxHeight);
    }
    std::free(indexPixels);
    indexPixels = nullptr;
    MakeHeader();
}
