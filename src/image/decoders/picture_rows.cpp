#include "image/decoders/picture_rows.h"

#include <cstdlib>
#include <cstring>
#include "image/decoders/picture_limits.h"

namespace {

uint32_t ReducedSide(uint32_t side, uint32_t denominator) {
    return (side + denominator - 1) / denominator;
}

// One stored pixel as blue, green, red over black.
template <int Channels, bool RedFirst>
inline void Unpack(const uint8_t* p, uint32_t* b, uint32_t* g, uint32_t* r) {
    uint32_t first = p[0], second = p[1], third = p[2];
    if (Channels == 4) {
        first = OverBlack(first, p[3]);
        second = OverBlack(second, p[3]);
        third = OverBlack(third, p[3]);
    }
    *b = RedFirst ? third : first;
    *g = second;
    *r = RedFirst ? first : third;
}

template <int Channels, bool RedFirst>
void ComposeRowAs(uint8_t* out, const uint8_t* row, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, row += Channels, out += 3) {
        uint32_t b, g, r;
        Unpack<Channels, RedFirst>(row, &b, &g, &r);
        out[0] = static_cast<uint8_t>(b);
        out[1] = static_cast<uint8_t>(g);
        out[2] = static_cast<uint8_t>(r);
    }
}

// Adds each run of d stored pixels to the sums of the reduced pixel it makes.
template <int Channels, bool RedFirst>
void SumRowAs(uint32_t* sums, const uint8_t* row, uint32_t width, uint32_t d) {
    for (uint32_t x = 0; x < width; sums += 3) {
        const uint32_t end = width - x < d ? width : x + d;
        uint32_t bSum = 0, gSum = 0, rSum = 0;
        for (; x < end; ++x, row += Channels) {
            uint32_t b, g, r;
            Unpack<Channels, RedFirst>(row, &b, &g, &r);
            bSum += b;
            gSum += g;
            rSum += r;
        }
        sums[0] += bSum;
        sums[1] += gSum;
        sums[2] += rSum;
    }
}

void SumRow(uint32_t* sums, const uint8_t* row, uint32_t width, uint32_t d, int32_t channels,
            bool redFirst) {
    if (channels == 4) {
        redFirst ? SumRowAs<4, true>(sums, row, width, d) : SumRowAs<4, false>(sums, row, width, d);
    } else {
        redFirst ? SumRowAs<3, true>(sums, row, width, d) : SumRowAs<3, false>(sums, row, width, d);
    }
}

}  // namespace

void ComposeRow(uint8_t* out, const uint8_t* row, uint32_t width, int32_t channels, bool redFirst) {
    if (channels == 3 && !redFirst) {
        std::memcpy(out, row, static_cast<size_t>(width) * 3);
    } else if (channels == 3) {
        ComposeRowAs<3, true>(out, row, width);
    } else if (redFirst) {
        ComposeRowAs<4, true>(out, row, width);
    } else {
        ComposeRowAs<4, false>(out, row, width);
    }
}

namespace {

void WriteReducedRow(PictureRows* rows, uint32_t bandRows) {
    DibImage* image = rows->image;
    const uint32_t d = rows->denominator;
    const uint32_t outRow = (rows->rowsTaken - 1) / d;
    uint8_t* out = image->pixels + static_cast<size_t>(outRow) * image->stride;
    for (uint32_t x = 0; x < static_cast<uint32_t>(image->width); ++x) {
        const uint32_t columns =
            x + 1 < static_cast<uint32_t>(image->width) ? d : rows->width - x * d;
        const uint32_t n = columns * bandRows;
        for (int c = 0; c < 3; ++c) {
            out[3 * x + c] = static_cast<uint8_t>((rows->sums[3 * x + c] + n / 2) / n);
        }
    }
    std::memset(rows->sums, 0, sizeof(uint32_t) * 3 * static_cast<size_t>(image->width));
}

}  // namespace

int32_t ReducedPictureFits(uint32_t width, uint32_t height, uint32_t denominator) {
    if (width == 0 || height == 0 || width > MaxPictureSide || height > MaxPictureSide) {
        return 0;
    }
    const uint64_t w = ReducedSide(width, denominator);
    const uint64_t h = ReducedSide(height, denominator);
    return static_cast<uint64_t>(DibStride(static_cast<int32_t>(w))) * h <= PixelMemoryLimit;
}

bool BeginRows(PictureRows* rows, DibImage* image, uint32_t width, uint32_t height,
               uint32_t denominator) {
    rows->image = image;
    rows->width = width;
    rows->height = height;
    rows->denominator = denominator;
    rows->rowsTaken = 0;
    rows->sums = nullptr;
    if (!ReducedPictureFits(width, height, denominator)) {
        return false;
    }
    if (!AllocatePicture(image, ReducedSide(width, denominator),
                         ReducedSide(height, denominator))) {
        return false;
    }
    if (denominator > 1) {
        rows->sums = static_cast<uint32_t*>(
            std::calloc(static_cast<size_t>(image->width) * 3, sizeof(uint32_t)));
    }
    return denominator == 1 || rows->sums != nullptr;
}

bool AllocatePicture(DibImage* image, uint32_t width, uint32_t height) {
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->stride = DibStride(image->width);
    image->components = 3;
    return image->TakePixels(static_cast<size_t>(image->stride) *
                             static_cast<size_t>(image->height));
}

void TakeRow(PictureRows* rows, const uint8_t* row, int32_t channels, bool redFirst) {
    if (rows->rowsTaken >= rows->height) {
        return;
    }
    ++rows->rowsTaken;
    const uint32_t d = rows->denominator;
    if (d == 1) {
        DibImage* image = rows->image;
        ComposeRow(image->pixels + static_cast<size_t>(rows->rowsTaken - 1) * image->stride, row,
                   rows->width, channels, redFirst);
        return;
    }
    SumRow(rows->sums, row, rows->width, d, channels, redFirst);
    const uint32_t inBand = (rows->rowsTaken - 1) % d + 1;
    if (inBand == d || rows->rowsTaken == rows->height) {
        WriteReducedRow(rows, inBand);
    }
}

void EndRows(PictureRows* rows) {
    std::free(rows->sums);
    rows->sums = nullptr;
}
