#include "image/pixel_layout.h"

#include <cstring>

ChannelPlace PlaceOfMask(uint32_t mask) {
    ChannelPlace place = {0, 0};
    if (mask == 0) {
        return place;
    }
    while (!(mask & 1u)) {
        mask >>= 1;
        ++place.shift;
    }
    while (mask & 1u) {
        mask >>= 1;
        ++place.bits;
    }
    return place;
}

PixelLayout LayoutOfMasks(uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                          int32_t bitsPerPixel) {
    PixelLayout layout;
    layout.red = PlaceOfMask(redMask);
    layout.green = PlaceOfMask(greenMask);
    layout.blue = PlaceOfMask(blueMask);
    layout.opaqueBits = 0;
    layout.bytesPerPixel = bitsPerPixel <= 8    ? 1
                           : bitsPerPixel <= 16 ? 2
                           : bitsPerPixel <= 24 ? 3
                                                : 4;
    return layout;
}

uint32_t OpaqueBits(int32_t depth, uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
    uint32_t depthBits = depth >= 32 ? 0xFFFFFFFFu : depth <= 0 ? 0u : (1u << depth) - 1u;
    return depthBits & ~(redMask | greenMask | blueMask);
}

uint32_t PackChannel(uint32_t value, ChannelPlace place) {
    if (place.bits <= 0) {
        return 0;
    }
    uint32_t v;
    if (place.bits <= 8) {
        v = value >> (8 - place.bits);
    } else {
        // Wider than 8 bits: repeat the top bits below, so that 255 stays full scale.
        int32_t bits = place.bits > 16 ? 16 : place.bits;
        v = (value << (bits - 8)) | (value >> (16 - bits));
    }
    return v << place.shift;
}

namespace {

void StorePixel(uint8_t* out, uint32_t pixel, int32_t bytesPerPixel) {
    switch (bytesPerPixel) {
        case 4:
            std::memcpy(out, &pixel, 4);
            break;
        case 2: {
            uint16_t p = static_cast<uint16_t>(pixel);
            std::memcpy(out, &p, 2);
            break;
        }
        case 3: {
            // Host order within the three bytes, as the image's byte order says.
            uint8_t bytes[4];
            std::memcpy(bytes, &pixel, 4);
            const uint32_t one = 1;
            const bool little = *reinterpret_cast<const uint8_t*>(&one) == 1;
            out[0] = little ? bytes[0] : bytes[1];
            out[1] = little ? bytes[1] : bytes[2];
            out[2] = little ? bytes[2] : bytes[3];
            break;
        }
        default:
            out[0] = static_cast<uint8_t>(pixel);
            break;
    }
}

bool IsPlain8888(const PixelLayout& layout) {
    return layout.bytesPerPixel == 4 && layout.red.shift == 16 && layout.red.bits == 8 &&
           layout.green.shift == 8 && layout.green.bits == 8 && layout.blue.shift == 0 &&
           layout.blue.bits == 8;
}

}  // namespace

void PackRow(const uint8_t* bgr, int32_t width, const PixelLayout& layout, uint8_t* out) {
    if (IsPlain8888(layout)) {
        // The common visual: a straight widening the compiler can vectorise.
        uint32_t* pixels = reinterpret_cast<uint32_t*>(out);
        const uint32_t opaque = layout.opaqueBits;
        for (int32_t x = 0; x < width; ++x, bgr += 3) {
            pixels[x] = static_cast<uint32_t>(bgr[0]) | (static_cast<uint32_t>(bgr[1]) << 8) |
                        (static_cast<uint32_t>(bgr[2]) << 16) | opaque;
        }
        return;
    }
    for (int32_t x = 0; x < width; ++x, bgr += 3, out += layout.bytesPerPixel) {
        uint32_t pixel = PackChannel(bgr[2], layout.red) | PackChannel(bgr[1], layout.green) |
                         PackChannel(bgr[0], layout.blue) | layout.opaqueBits;
        StorePixel(out, pixel, layout.bytesPerPixel);
    }
}

void PackIndexRow(const uint8_t* indices, int32_t width, const uint32_t* pixelOfIndex,
                  int32_t bytesPerPixel, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, out += bytesPerPixel) {
        StorePixel(out, pixelOfIndex[indices[x]], bytesPerPixel);
    }
}

RgbColour PaletteColourOf(const ShowPaletteEntry& entry) {
    return RgbColour{entry.blue, entry.green, entry.red};
}

int32_t NearestColour(RgbColour want, const RgbColour* available, int32_t count) {
    int32_t best = -1;
    int32_t bestDistance = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t dr = static_cast<int32_t>(want.red) - available[i].red;
        int32_t dg = static_cast<int32_t>(want.green) - available[i].green;
        int32_t db = static_cast<int32_t>(want.blue) - available[i].blue;
        int32_t distance = dr * dr + dg * dg + db * db;
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}
