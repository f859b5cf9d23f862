// WebP through libwebp: lossy and lossless, alpha over black, animations by their first frame.
// Still pictures decode as their bytes arrive, reduced by the library's own scaler towards the
// box, and answer the stop check between blocks of the file. Their chunks are found by one walk
// over the file, and the library is handed only those it decodes: it keeps every byte it is
// given and parses them again as more arrive, so a large chunk it would skip costs it dearly.

#include <webp/decode.h>
#include <webp/demux.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include "image/decoders/decode.h"
#include "image/decoders/decode_jail.h"
#include "image/decoders/decode_picture.h"
#include "image/decoders/picture_limits.h"
#include "image/decoders/picture_rows.h"
#include "image/decoders/webp_chunks.h"
#include "image/stop_check.h"

namespace {

constexpr size_t WebpBlockBytes = 65536;

uint32_t ReducedSide(int side, int32_t d) {
    return (static_cast<uint32_t>(side) + static_cast<uint32_t>(d) - 1) / static_cast<uint32_t>(d);
}

struct StillWork {
    WebPIDecoder* decoder;
    uint8_t* composed;  // blue-green-red-alpha rows of a picture with alpha
    uint8_t* head;      // the file as the library sees it: the head, then the image data
    size_t peeked;      // image data already read behind the head
};

// Hands the library the file as it sees it: all at once where nothing asks to stop (the
// decoding process is ended from outside instead), otherwise in steps that grow with what it
// has. It parses a picture's headers again from their start each time it runs out of data, so
// equal blocks would cost the square of a large header. True once the picture is complete.
bool FeedDecoder(WebPIDecoder* decoder, FILE* stream, const WebpLayout& layout, uint8_t* data,
                 size_t peeked) {
    size_t have = layout.headBytes + peeked;
    const size_t total = layout.headBytes + static_cast<size_t>(layout.image.bytes);
    if (std::fseek(stream, static_cast<long>(layout.image.offset + peeked), SEEK_SET) != 0) {
        return false;
    }
    VP8StatusCode status = WebPIUpdate(decoder, data, have);
    while (status == VP8_STATUS_SUSPENDED && have < total && !ShouldStop()) {
        const size_t step = StopCheckInstalled()
                                ? std::min(total - have, std::max(WebpBlockBytes, have))
                                : total - have;
        const size_t n = std::fread(data + have, 1, step, stream);
        if (n == 0) {
            break;  // the file ended early
        }
        have += n;
        status = WebPIUpdate(decoder, data, have);
    }
    return status == VP8_STATUS_OK;
}

bool DecodeStill(DibImage* image, FILE* stream, const WebpLayout& layout, WebPDecoderConfig* config,
                 int32_t d, StillWork* work) {
    const WebPBitstreamFeatures& features = config->input;
    const uint32_t width = ReducedSide(features.width, d);
    const uint32_t height = ReducedSide(features.height, d);
    if (!AllocatePicture(image, width, height)) {
        return false;
    }
    if (d > 1) {
        config->options.use_scaling = 1;
        config->options.scaled_width = static_cast<int>(width);
        config->options.scaled_height = static_cast<int>(height);
    }
    WebPRGBABuffer& out = config->output.u.RGBA;
    config->output.is_external_memory = 1;
    if (features.has_alpha) {
        config->output.colorspace = MODE_BGRA;
        out.stride = static_cast<int>(width * 4);
        out.size = static_cast<size_t>(out.stride) * height;
        work->composed = static_cast<uint8_t*>(std::malloc(out.size));
        if (work->composed == nullptr) {
            return false;
        }
        out.rgba = work->composed;
    } else {
        // Opaque pictures go straight into the picture's rows.
        config->output.colorspace = MODE_BGR;
        out.rgba = image->pixels;
        out.stride = image->stride;
        out.size = static_cast<size_t>(image->stride) * height;
    }
    work->decoder = WebPIDecode(nullptr, 0, config);
    if (work->decoder == nullptr ||
        !FeedDecoder(work->decoder, stream, layout, work->head, work->peeked)) {
        return false;
    }
    for (uint32_t y = 0; features.has_alpha && y < height; ++y) {
        ComposeRow(image->pixels + static_cast<size_t>(y) * image->stride,
                   work->composed + static_cast<size_t>(y) * out.stride, width, 4, false);
    }
    return true;
}

struct AnimationWork {
    uint8_t* file;
    WebPAnimDecoder* decoder;
    PictureRows rows;
};

// The first frame on its canvas: the demuxer needs the whole file.
bool DecodeFirstFrame(DibImage* image, FILE* stream, int64_t fileBytes, int32_t d,
                      AnimationWork* work) {
    if (static_cast<uint64_t>(fileBytes) > WorkMemoryLimit) {
        return false;
    }
    work->file = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(fileBytes)));
    if (work->file == nullptr || std::fseek(stream, 0, SEEK_SET) != 0 ||
        std::fread(work->file, 1, static_cast<size_t>(fileBytes), stream) !=
            static_cast<size_t>(fileBytes)) {
        return false;
    }
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        return false;
    }
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    WebPData data = {work->file, static_cast<size_t>(fileBytes)};
    work->decoder = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info;
    if (work->decoder == nullptr || !WebPAnimDecoderGetInfo(work->decoder, &info)) {
        return false;
    }
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (ShouldStop() || !WebPAnimDecoderGetNext(work->decoder, &canvas, &timestamp) ||
        !BeginRows(&work->rows, image, info.canvas_width, info.canvas_height,
                   static_cast<uint32_t>(d))) {
        return false;
    }
    for (uint32_t y = 0; y < info.canvas_height; ++y) {
        TakeRow(&work->rows, canvas + static_cast<size_t>(y) * info.canvas_width * 4, 4, false);
    }
    return true;
}

// The still picture's head as the library is to see it, with the first bytes of its image
// data read behind it for the header; the features of the picture it holds.
bool ReadStillHead(FILE* stream, const WebpLayout& layout, StillWork* work,
                   WebPBitstreamFeatures* features) {
    const size_t imageBytes = static_cast<size_t>(layout.image.bytes);
    work->head = static_cast<uint8_t*>(std::malloc(layout.headBytes + imageBytes));
    if (work->head == nullptr || !WriteWebpHead(stream, layout, work->head)) {
        return false;
    }
    work->peeked = std::min(imageBytes, WebpBlockBytes);
    if (std::fseek(stream, static_cast<long>(layout.image.offset), SEEK_SET) != 0 ||
        std::fread(work->head + layout.headBytes, 1, work->peeked, stream) != work->peeked) {
        return false;
    }
    return WebPGetFeatures(work->head, layout.headBytes + work->peeked, features) == VP8_STATUS_OK;
}

}  // namespace

bool DecodeWebp(DibImage* image, FILE* stream, int32_t targetWidth, int32_t targetHeight,
                SizeRule rule) {
    const int64_t fileBytes = StreamBytes(stream);
    WebpLayout layout;
    WebPDecoderConfig config;
    if (fileBytes <= 0 || !WebPInitDecoderConfig(&config) ||
        !WalkWebpChunks(stream, static_cast<uint64_t>(fileBytes), &layout) ||
        !WebpLayoutFits(layout, static_cast<uint64_t>(fileBytes))) {
        return false;
    }
    bool decoded = false;
    if (layout.animated) {
        const int32_t d = ScaleDenominator(layout.canvasWidth, layout.canvasHeight, targetWidth,
                                           targetHeight, rule);
        AnimationWork work{};
        LimitDecodeMemory(static_cast<uint64_t>(layout.canvasWidth) * layout.canvasHeight,
                          static_cast<uint64_t>(fileBytes));
        decoded =
            ReducedPictureFits(layout.canvasWidth, layout.canvasHeight, static_cast<uint32_t>(d)) &&
            DecodeFirstFrame(image, stream, fileBytes, d, &work);
        WebPAnimDecoderDelete(work.decoder);
        EndRows(&work.rows);
        std::free(work.file);
        return decoded;
    }
    StillWork work{};
    WebPBitstreamFeatures& features = config.input;
    if (ReadStillHead(stream, layout, &work, &features) && !features.has_animation &&
        DeclaredPixelsFit(static_cast<uint64_t>(features.width) * features.height,
                          layout.image.bytes + layout.alpha.bytes)) {
        const int32_t d =
            ScaleDenominator(features.width, features.height, targetWidth, targetHeight, rule);
        LimitDecodeMemory(static_cast<uint64_t>(features.width) * features.height,
                          layout.headBytes + layout.image.bytes);
        decoded = ReducedPictureFits(features.width, features.height, d) &&
                  DecodeStill(image, stream, layout, &config, d, &work);
    }
    WebPIDelete(work.decoder);
    WebPFreeDecBuffer(&config.output);
    std::free(work.composed);
    std::free(work.head);
    return decoded;
}
