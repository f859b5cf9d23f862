#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
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

// Per output column: where its two source pixels start and their weights. With SSE2 the
// two pixels (adjacent in the source) are read as one 8-byte word and weighted together, the
// weights laid out per lane once per fit as near x3, far x3, 0, 0.
struct HorizontalPlan {
    int32_t count;        // output columns
    int32_t vectorCount;  // leading columns whose 8-byte read stays inside the source row
    const int32_t* nearOffset;
    const int32_t* farOffset;
    const uint16_t* weights;      // near and far weight per column
    const uint16_t* laneWeights;  // eight per column
};

void HorizontalRow(const uint8_t* src, uint8_t* __restrict dst, const HorizontalPlan& plan) {
    const int32_t* __restrict nearOffset = plan.nearOffset;
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstThree = _mm_setr_epi16(-1, -1, -1, 0, 0, 0, 0, 0);
    const __m128i* lanes = reinterpret_cast<const __m128i*>(plan.laneWeights);
    for (; i + 1 < plan.vectorCount; i += 2) {
        __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + nearOffset[i]));
        __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + nearOffset[i + 1]));
        a = _mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), _mm_loadu_si128(lanes + i));
        b = _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), _mm_loadu_si128(lanes + i + 1));
        // Lanes 0-2 get near + far; the sums fit 16 bits because the weights add up to 256
        // at most.
        a = _mm_srli_epi16(_mm_add_epi16(a, _mm_srli_si128(a, 6)), 8);
        b = _mm_srli_epi16(_mm_add_epi16(b, _mm_srli_si128(b, 6)), 8);
        __m128i both = _mm_or_si128(_mm_and_si128(a, firstThree), _mm_slli_si128(b, 6));
        // Eight bytes out, six of them ours: the next columns overwrite the other two.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 3 * i), _mm_packus_epi16(both, both));
    }
#endif
    for (; i < plan.count; ++i) {
        const uint8_t* a = src + nearOffset[i];
        const uint8_t* b = src + plan.farOffset[i];
        const uint32_t wn = plan.weights[2 * i];
        const uint32_t wf = plan.weights[2 * i + 1];
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
    // A negative box is never asked for; it fits into nothing rather than into garbage.
    int32_t outWidth = newWidth > 0 ? static_cast<int32_t>(newWidth) : 0;
    int32_t outHeight = newHeight > 0 ? static_cast<int32_t>(newHeight) : 0;
    int32_t outStride = DibStride(outWidth);
    size_t rowBytes = static_cast<size_t>(outWidth) * 3;

    // One block for the tables and the per-row work areas, one for the result.
    const size_t entries = static_cast<size_t>(outWidth) + static_cast<size_t>(outHeight);
    const size_t blockBytes =
        16 + 8 * 2 * static_cast<size_t>(outWidth) + entries * sizeof(SampleEntry) +
        2 * static_cast<size_t>(outWidth) * sizeof(int32_t) +
        2 * static_cast<size_t>(outWidth) * sizeof(uint16_t) + 2 * (rowBytes + 8);
    uint8_t* block = static_cast<uint8_t*>(std::malloc(blockBytes));
    // A shrinking fit writes over the picture it reads: output row j ends at or before source
    // row j, and every source row from there on is still unread. No fresh buffer means no
    // fresh pages to fault in, and a lower peak.
    const size_t outBytes = static_cast<size_t>(outStride) * static_cast<size_t>(outHeight) + 1;
    const bool inPlace = outWidth <= w && outHeight <= h;
    uint8_t* out = inPlace ? pixels : static_cast<uint8_t*>(std::malloc(outBytes));
    if (block == nullptr || out == nullptr) {
        Trace("scale: out of memory");
        std::free(block);
        if (!inPlace) {
            std::free(out);
        }
        failed = 1;
        return;
    }
    // Lane weights first, on a 16-byte boundary; row buffers last, with room for the
    // vector loop's two spare bytes.
    uint16_t* laneWeights =
        reinterpret_cast<uint16_t*>(block + ((16 - reinterpret_cast<uintptr_t>(block) % 16) % 16));
    SampleEntry* columns = reinterpret_cast<SampleEntry*>(laneWeights + 8 * outWidth);
    SampleEntry* rows = columns + outWidth;
    int32_t* nearOffset = reinterpret_cast<int32_t*>(rows + outHeight);
    int32_t* farOffset = nearOffset + outWidth;
    uint16_t* weights = reinterpret_cast<uint16_t*>(farOffset + outWidth);
    uint8_t* rowBuffers = reinterpret_cast<uint8_t*>(weights + 2 * outWidth);

    BuildSampleTable(w, outWidth, columns);
    BuildSampleTable(h, outHeight, rows);
    HorizontalPlan plan = {outWidth, 0, nearOffset, farOffset, weights, laneWeights};
    for (int32_t i = 0; i < outWidth; ++i) {
        const SampleEntry& e = columns[i];
        nearOffset[i] = 3 * e.nearIndex;
        farOffset[i] = 3 * e.farIndex;
        weights[2 * i] = static_cast<uint16_t>(e.nearWeight);
        weights[2 * i + 1] = static_cast<uint16_t>(e.farWeight);
        uint16_t* lane = laneWeights + 8 * i;
        for (int c = 0; c < 3; ++c) {
            lane[c] = static_cast<uint16_t>(e.nearWeight);
            lane[3 + c] = static_cast<uint16_t>(e.farWeight);
        }
        lane[6] = lane[7] = 0;
        // The 8-byte read covers the near pixel, the far one right after it, two more bytes.
        if (e.farIndex == e.nearIndex + 1 && 3 * e.nearIndex + 8 <= 3 * w) {
            plan.vectorCount = i + 1;
        }
    }

    RowCache cache = {{rowBuffers, rowBuffers + rowBytes + 8}, {-1, -1}};
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

    std::free(block);
    if (inPlace) {
        // Give the unused tail back; a refusal just keeps the larger block.
        void* smaller = std::realloc(pixels, outBytes);
        pixels = smaller != nullptr ? static_cast<uint8_t*>(smaller) : pixels;
    } else {
        std::free(pixels);
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
