#pragma once
// The chunks of a WebP file, found by one walk over their headers: where the picture's data
// lies, and what its extended header declares, before anything is decoded.

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct WebpSpan {
    uint64_t offset = 0;  // of the chunk's payload in the file
    uint64_t bytes = 0;   // 0 when there is no such chunk
};

struct WebpLayout {
    bool extended = false;  // a VP8X header leads
    bool animated = false;
    uint32_t canvasWidth = 0;  // from VP8X, 0 without it
    uint32_t canvasHeight = 0;
    uint32_t frameWidth = 0;  // of the first frame of an animation
    uint32_t frameHeight = 0;
    WebpSpan header;  // VP8X
    WebpSpan alpha;   // ALPH of a lossy still
    WebpSpan image;   // VP8 or VP8L of a still, or the first ANMF of an animation
    char imageKind[4] = {0, 0, 0, 0};
    size_t headBytes = 0;  // what WriteWebpHead writes
};

// Walks the chunks of the stream (seekable) up to the still picture's data or the first frame;
// false when the file is not a WebP that can be shown: no picture, too many chunks before it,
// or chunks that end outside the file.
bool WalkWebpChunks(FILE* stream, uint64_t fileBytes, WebpLayout* layout);

// Whether the declared canvas and first frame may be decoded from the bytes that carry them.
bool WebpLayoutFits(const WebpLayout& layout, uint64_t fileBytes);

// Writes the layout's head (headBytes into out): a file of the extended header, the alpha chunk
// and the image chunk's header, nothing else. Its image data follows from image.offset.
bool WriteWebpHead(FILE* stream, const WebpLayout& layout, uint8_t* out);
