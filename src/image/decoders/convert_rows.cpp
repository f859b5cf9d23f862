#include "image/decoders/decode.h"

namespace {
// a * b / 255, rounded to nearest, exact for bytes.
inline uint8_t MulDiv255(uint32_t a, uint32_t b) {
    uint32_t t = a * b + 128;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}
}  // namespace

void ConvertCmykRow(const uint8_t* src, uint8_t* dst, int32_t width, bool inverted) {
    for (int32_t x = 0; x < width; ++x) {
        uint32_t c = src[4 * x], m = src[4 * x + 1], y = src[4 * x + 2], k = src[4 * x + 3];
        if (!inverted) {
            c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        }
        // Inverted samples are the amounts of light left: red = (1 - C)(1 - K).
        dst[3 * x] = MulDiv255(y, k);
        dst[3 * x + 1] = MulDiv255(m, k);
        dst[3 * x + 2] = MulDiv255(c, k);
    }
}
