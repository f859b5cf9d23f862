// WebP through libwebp: lossy and lossless, alpha over black, animations by their first frame.
// Still pictures decode as their bytes arrive, reduced by the library's own scaler towards the
// box, and answer the stop check between blocks of the file.

#include <webp/decode.h>
#include <webp/demux.h>
#include <cstdlib>
#include <cstring>
#include "image/decode.h"
#include "image/decode_picture.h"
#include "image/picture_limits.h"
#include "image/picture_rows.h"
#include "image/stop_check.h"

namespace {

constexpr size_t WebpBlockBytes = 65536;

uint32_t ReducedSide(int side, int32_t d) {
    return (static_cast<uint32_t>(side) + static_cast<uint32_t>(d) - 1) / static_cast<uint32_t>(d);
}

// Pictures whose decode cannot be stopped take on work in proportion to the file.
bool WithinSilentWork(uint64_t width, uint64_t height, int64_t fileBytes) {
    return width * height <=
           SilentPixelsAllowance + SilentPixelsPerByte * static_cast<uint64_t>(fileBytes);
}

struct StillWork {
    WebPIDecoder* decoder;
    uint8_t* composed;  // blue-green-red-alpha rows of a picture with alpha
};

// Feeds the file block by block; true once the picture is complete.
bool FeedDecoder(WebPIDecoder* decoder, FILE* stream, uint8_t* block, size_t firstBytes) {
    VP8StatusCode status = WebPIAppend(decoder, block, firstBytes);
    while (status == VP8_STATUS_SUSPENDED) {
        const size_t n = std::fread(block, 1, WebpBlockBytes, stream);
        if (n == 0 || ShouldStop()) {
            return false;  // the file ended early, or the show wants to go on
        }
        status = WebPIAppend(decoder, block, n);
    }
    return status == VP8_STATUS_OK;
}

bool DecodeStill(DibImage* image, FILE* stream, uint8_t* block, size_t firstBytes,
                 WebPDecoderConfig* config, int32_t d, StillWork* work) {
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
    if (work->decoder == nullptr || !FeedDecoder(work->decoder, stream, block, firstBytes)) {
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
bool DecodeFirstFrame(DibImage* image, FILE* stream, int64_t fileBytes,
                      const WebPBitstreamFeatures& features, int32_t d, AnimationWork* work) {
    const uint64_t canvasBytes = static_cast<uint64_t>(features.width) * features.height * 4;
    if (canvasBytes > WorkMemoryLimit || static_cast<uint64_t>(fileBytes) > WorkMemoryLimit) {
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

}  // namespace

bool DecodeWebp(DibImage* image, FILE* stream, int32_t targetWidth, int32_t targetHeight,
                SizeRule rule) {
    const int64_t fileBytes = StreamBytes(stream);
    WebPDecoderConfig config;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(WebpBlockBytes));
    if (fileBytes <= 0 || block == nullptr || !WebPInitDecoderConfig(&config)) {
        std::free(block);
        return false;
    }
    const size_t firstBytes = std::fread(block, 1, WebpBlockBytes, stream);
    bool decoded = false;
    // The header tells the size before anything is allocated for it.
    if (WebPGetFeatures(block, firstBytes, &config.input) == VP8_STATUS_OK &&
        WithinSilentWork(config.input.width, config.input.height, fileBytes)) {
        const WebPBitstreamFeatures& features = config.input;
        const int32_t d =
            ScaleDenominator(features.width, features.height, targetWidth, targetHeight, rule);
        if (!ReducedPictureFits(features.width, features.height, d)) {
            decoded = false;
        } else if (features.has_animation) {
            AnimationWork work{};
            decoded = DecodeFirstFrame(image, stream, fileBytes, features, d, &work);
            WebPAnimDecoderDelete(work.decoder);
            EndRows(&work.rows);
            std::free(work.file);
        } else {
            StillWork work{};
            decoded = DecodeStill(image, stream, block, firstBytes, &config, d, &work);
            WebPIDelete(work.decoder);
            WebPFreeDecBuffer(&config.output);
            std::free(work.composed);
        }
    }
    std::free(block);
    return decoded;
}
