#include "image/decoders/webp_chunks.h"

#include <cstring>
#include "image/decoders/picture_limits.h"

namespace {

// Real files put a handful of chunks (profile, Exif) before the picture.
constexpr int MaxChunksBeforePicture = 1024;
constexpr uint8_t AnimationFlag = 0x02;
constexpr uint8_t AlphaFlag = 0x10;

uint32_t Little32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t Little24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16;
}

void PutLittle32(uint8_t* p, uint64_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

bool ReadAt(FILE* stream, uint64_t offset, uint8_t* out, size_t bytes) {
    return std::fseek(stream, static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fread(out, 1, bytes, stream) == bytes;
}

uint64_t Padded(uint64_t bytes) {
    return bytes + (bytes & 1);
}

bool Is(const uint8_t* fourcc, const char* name) {
    return std::memcmp(fourcc, name, 4) == 0;
}

bool TakeExtendedHeader(FILE* stream, uint64_t payload, uint32_t size, WebpLayout* layout) {
    uint8_t v[10];
    if (size < sizeof v || !ReadAt(stream, payload, v, sizeof v)) {
        return false;
    }
    layout->extended = true;
    layout->animated = (v[0] & AnimationFlag) != 0;
    layout->canvasWidth = Little24(v + 4) + 1;
    layout->canvasHeight = Little24(v + 7) + 1;
    layout->header = {payload, sizeof v};
    return true;
}

bool TakeFirstFrame(FILE* stream, uint64_t payload, uint32_t size, WebpLayout* layout) {
    uint8_t f[16];
    if (size < sizeof f || !ReadAt(stream, payload, f, sizeof f)) {
        return false;
    }
    layout->frameWidth = Little24(f + 6) + 1;
    layout->frameHeight = Little24(f + 9) + 1;
    layout->image = {payload, size};
    std::memcpy(layout->imageKind, "ANMF", 4);
    return true;
}

}  // namespace

bool WalkWebpChunks(FILE* stream, uint64_t fileBytes, WebpLayout* layout) {
    uint8_t riff[12];
    if (!ReadAt(stream, 0, riff, sizeof riff) || !Is(riff, "RIFF") || !Is(riff + 8, "WEBP")) {
        return false;
    }
    // A RIFF size that claims less than the file ends the file there; more, and the file ends.
    const uint64_t riffEnd = static_cast<uint64_t>(Little32(riff + 4)) + 8;
    const uint64_t end = riffEnd < fileBytes ? riffEnd : fileBytes;
    uint64_t at = sizeof riff;
    for (int n = 0; n < MaxChunksBeforePicture && at + 8 <= end; ++n) {
        uint8_t chunk[8];
        if (!ReadAt(stream, at, chunk, sizeof chunk)) {
            return false;
        }
        const uint32_t size = Little32(chunk + 4);
        const uint64_t payload = at + 8;
        const bool picture = Is(chunk, "VP8 ") || Is(chunk, "VP8L");
        if (picture && !layout->animated) {
            // A picture cut short is the decoder's to find: it shows nothing. Bytes the file
            // lacks count for nothing.
            layout->image = {payload, payload + size <= end ? size : end - payload};
            std::memcpy(layout->imageKind, chunk, 4);
            break;
        }
        if (payload + size > end) {
            return false;
        }
        if (Is(chunk, "VP8X") && n == 0 && !TakeExtendedHeader(stream, payload, size, layout)) {
            return false;
        }
        if (Is(chunk, "ALPH") && layout->alpha.bytes == 0) {
            layout->alpha = {payload, size};
        }
        if (Is(chunk, "ANMF") && layout->animated) {
            return TakeFirstFrame(stream, payload, size, layout);
        }
        at = payload + Padded(size);
    }
    if (layout->image.bytes == 0 || layout->animated) {
        return false;
    }
    // Lossless pictures carry their own alpha, and alpha without the extended header is not read.
    if (!layout->extended || Is(reinterpret_cast<const uint8_t*>(layout->imageKind), "VP8L")) {
        layout->alpha = WebpSpan();
    }
    layout->headBytes = 12 + (layout->extended ? 18 : 0) +
                        (layout->alpha.bytes > 0 ? 8 + Padded(layout->alpha.bytes) : 0) + 8;
    return true;
}

bool WebpLayoutFits(const WebpLayout& layout, uint64_t fileBytes) {
    const uint64_t canvas = static_cast<uint64_t>(layout.canvasWidth) * layout.canvasHeight;
    if (layout.extended && !DeclaredPixelsFit(canvas, fileBytes)) {
        return false;
    }
    if (layout.animated) {
        const uint64_t frame = static_cast<uint64_t>(layout.frameWidth) * layout.frameHeight;
        return canvas * 4 <= WorkMemoryLimit && DeclaredPixelsFit(frame, layout.image.bytes);
    }
    // Alpha is at most a byte a pixel, however it is stored.
    return layout.alpha.bytes <= canvas + 1024;
}

bool WriteWebpHead(FILE* stream, const WebpLayout& layout, uint8_t* out) {
    const uint64_t imageChunk = 8 + Padded(layout.image.bytes);
    uint8_t* p = out;
    std::memcpy(p, "RIFF", 4);
    PutLittle32(p + 4, layout.headBytes - 8 - 8 + imageChunk);
    std::memcpy(p + 8, "WEBP", 4);
    p += 12;
    if (layout.extended) {
        std::memcpy(p, "VP8X", 4);
        PutLittle32(p + 4, 10);
        if (!ReadAt(stream, layout.header.offset, p + 8, 10)) {
            return false;
        }
        // Only what is handed on may be announced: no profile, no metadata.
        p[8] &= static_cast<uint8_t>(AlphaFlag);
        if (layout.alpha.bytes == 0 && layout.imageKind[3] != 'L') {
            p[8] = 0;
        }
        p += 18;
    }
    if (layout.alpha.bytes > 0) {
        std::memcpy(p, "ALPH", 4);
        PutLittle32(p + 4, layout.alpha.bytes);
        if (!ReadAt(stream, layout.alpha.offset, p + 8, static_cast<size_t>(layout.alpha.bytes))) {
            return false;
        }
        p += 8 + layout.alpha.bytes;
        if (layout.alpha.bytes & 1) {
            *p++ = 0;
        }
    }
    std::memcpy(p, layout.imageKind, 4);
    PutLittle32(p + 4, layout.image.bytes);
    return true;
}
