#pragma once
// Decoded rows of any format on their way into the show's picture: alpha composed over black on
// the stored values, then reduced by the same denominator the JPEG decoder takes, each shown
// pixel the rounded mean of the stored pixels it covers. Plain data: decoders that return
// through longjmp keep it in storage that survives the jump and call EndRows on every path.

#include <cstddef>
#include <cstdint>
#include "image/dib_image.h"

struct PictureRows {
    DibImage* image;
    uint32_t width;   // of the stored rows
    uint32_t height;  // stored rows expected
    uint32_t denominator;
    uint32_t rowsTaken;
    uint32_t* sums;  // one reduced row of blue-green-red sums while denominator > 1
};

// A colour over black: the pinned rule for every decoder.
inline uint8_t OverBlack(uint32_t colour, uint32_t alpha) {
    return static_cast<uint8_t>((colour * alpha + 127) / 255);
}

// The picture a width x height stored picture makes at 1/denominator (sides rounded up), or 0
// when it would pass the pixel budget.
int32_t ReducedPictureFits(uint32_t width, uint32_t height, uint32_t denominator);

// Allocates image's pixels for a width x height picture (sides already checked); false when
// memory is short.
bool AllocatePicture(DibImage* image, uint32_t width, uint32_t height);
// One row of 3 or 4 channels (the fourth alpha), red or blue first, as blue-green-red pixels.
void ComposeRow(uint8_t* out, const uint8_t* row, uint32_t width, int32_t channels, bool redFirst);

// Sets up image (released first by the caller) for the reduced picture; false when it is
// refused or memory is short.
bool BeginRows(PictureRows* rows, DibImage* image, uint32_t width, uint32_t height,
               uint32_t denominator);
// The next stored row: 3 or 4 channels (the fourth alpha), red or blue first.
void TakeRow(PictureRows* rows, const uint8_t* row, int32_t channels, bool redFirst);
// Frees the work buffer; safe to call twice and after a failed BeginRows.
void EndRows(PictureRows* rows);
