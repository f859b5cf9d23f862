#include <cstdlib>
#include <cstring>
#include "app/trace.h"
#include "image/dib_image.h"
#include "image/picture_memory.h"
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

// The horizontal pass in two steps per row: copy each output column's two source pixels
// next to each other (a plain copy per pixel), then blend all bytes of the row in one loop
// that runs in 16-bit vector lanes. The weights are spread out per byte once per fit.
struct HorizontalPlan {
    int32_t count;      // output columns
    int32_t wideCount;  // leading columns whose far pixel is followed by one more source byte
    const int32_t* nearOffset;
    const int32_t* farOffset;
    const uint16_t* nearWeight;  // per output byte
    const uint16_t* farWeight;
    uint8_t* nearBytes;  // 3 * count + 1 bytes
    uint8_t* farBytes;
};

void HorizontalRow(const uint8_t* src, uint8_t* __restrict dst, const HorizontalPlan& plan) {
    uint8_t* __restrict a = plan.nearBytes;
    uint8_t* __restrict b = plan.farBytes;
    const int32_t* __restrict nearOffset = plan.nearOffset;
    const int32_t* __restrict farOffset = plan.farOffset;
    const int32_t wideCount = plan.wideCount;
    int32_t i = 0;
    for (; i < wideCount; ++i) {
        // Four-byte copies: the fourth byte is overwritten by the next column.
        std::memcpy(a + 3 * i, src + nearOffset[i], 4);
        std::memcpy(b + 3 * i, src + farOffset[i], 4);
    }
    for (; i < plan.count; ++i) {
        std::memcpy(a + 3 * i, src + nearOffset[i], 3);
        std::memcpy(b + 3 * i, src + farOffset[i], 3);
    }
    const uint16_t* __restrict wn = plan.nearWeight;
    const uint16_t* __restrict wf = plan.farWeight;
    const int32_t bytes = 3 * plan.count;
    for (int32_t k = 0; k < bytes; ++k) {
        uint16_t sum = static_cast<uint16_t>(a[k] * wn[k] + b[k] * wf[k]);
        dst[k] = static_cast<uint8_t>(sum >> 8);
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
                                 const HorizontalPlan& plan) {
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
                  cache->rows[slot], plan);
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
    // A sliver such as 65500x1 still shows as a line of at least one pixel, not as nothing
    // counted as shown. A negative box is never asked for; it fits into nothing rather than
    // into garbage.
    if (boxWidth > 0 && boxHeight > 0) {
        newWidth = newWidth > 1 ? newWidth : 1;
        newHeight = newHeight > 1 ? newHeight : 1;
    }
    int32_t outWidth = newWidth > 0 ? static_cast<int32_t>(newWidth) : 0;
    int32_t outHeight = newHeight > 0 ? static_cast<int32_t>(newHeight) : 0;
    int32_t outStride = DibStride(outWidth);
    size_t rowBytes = static_cast<size_t>(outWidth) * 3;

    // One block for the tables and the per-row work areas, one for the result.
    const size_t entries = static_cast<size_t>(outWidth) + static_cast<size_t>(outHeight);
    const size_t blockBytes = entries * sizeof(SampleEntry) +
                              2 * static_cast<size_t>(outWidth) * sizeof(int32_t) +
                              2 * rowBytes * sizeof(uint16_t) + 4 * rowBytes + 8;
    uint8_t* block = TakeWork(blockBytes);
    // A shrinking fit writes over the picture it reads: output row j ends where source row
    // j + 1 begins at the latest, and later output rows read no source row above that. No
    // fresh buffer means no fresh pages to fault in, and a lower peak.
    const size_t outBytes = static_cast<size_t>(outStride) * static_cast<size_t>(outHeight) + 1;
    const bool inPlace = outWidth <= w && outHeight <= h;
    uint8_t* out = inPlace || block == nullptr
                       ? pixels
                       : static_cast<uint8_t*>(AllocatePictureMemory(outBytes));
    if (block == nullptr || out == nullptr) {
        Trace("scale: out of memory");
        failed = 1;
        return;
    }
    SampleEntry* columns = reinterpret_cast<SampleEntry*>(block);
    SampleEntry* rows = columns + outWidth;
    int32_t* nearOffset = reinterpret_cast<int32_t*>(rows + outHeight);
    int32_t* farOffset = nearOffset + outWidth;
    uint16_t* nearWeight = reinterpret_cast<uint16_t*>(farOffset + outWidth);
    uint16_t* farWeight = nearWeight + rowBytes;
    uint8_t* rowBuffers = reinterpret_cast<uint8_t*>(farWeight + rowBytes);
    uint8_t* nearBytes = rowBuffers + 2 * rowBytes;
    uint8_t* farBytes = nearBytes + rowBytes + 4;

    BuildSampleTable(w, outWidth, columns);
    BuildSampleTable(h, outHeight, rows);
    HorizontalPlan plan = {outWidth,   0,         nearOffset, farOffset,
                           nearWeight, farWeight, nearBytes,  farBytes};
    for (int32_t i = 0; i < outWidth; ++i) {
        nearOffset[i] = 3 * columns[i].nearIndex;
        farOffset[i] = 3 * columns[i].farIndex;
        if (columns[i].farIndex < w - 1) {
            plan.wideCount = i + 1;
        }
        for (int c = 0; c < 3; ++c) {
            nearWeight[3 * i + c] = static_cast<uint16_t>(columns[i].nearWeight);
            farWeight[3 * i + c] = static_cast<uint16_t>(columns[i].farWeight);
        }
    }

    RowCache cache = {{rowBuffers, rowBuffers + rowBytes}, {-1, -1}};
    for (int32_t j = 0; j < outHeight; ++j) {
        const SampleEntry& e = rows[j];
        const uint8_t* nearRow = HorizontalPassRow(&cache, e.nearIndex, -1, *this, plan);
        // A zero weight needs no row; reusing the near one keeps the sum the same.
        const uint8_t* farRow =
            e.farWeight == 0 ? nearRow
                             : HorizontalPassRow(&cache, e.farIndex, e.nearIndex, *this, plan);
        VerticalRow(nearRow, farRow, out + static_cast<size_t>(j) * static_cast<size_t>(outStride),
                    static_cast<uint16_t>(e.nearWeight), static_cast<uint16_t>(e.farWeight),
                    static_cast<int32_t>(rowBytes));
    }

    if (!inPlace) {
        std::free(pixelBlock);
        pixelBlock = out;
        pixelBlockBytes = outBytes;
        pixels = out;
    }
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
