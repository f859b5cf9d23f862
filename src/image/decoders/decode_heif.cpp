// HEIF (HEIC, and AVIF where the library has a decoder for it) through libheif: the primary
// picture, grids joined, more than 8 bits per sample reduced to 8, alpha over black. The file's
// own turn and mirror are applied by the show's turning step, as an Exif orientation is for a
// JPEG: the library mirrors 8-bit pictures only (an Exif orientation inside is not applied on
// top). The file's boxes are checked by the show's own reader before the library reads them.

#include <libheif/heif.h>
#include "image/decoders/decode.h"
#include "image/decoders/decode_jail.h"
#include "image/decoders/decode_picture.h"
#include "image/decoders/exif_orientation.h"
#include "image/decoders/heif_boxes.h"
#include "image/decoders/picture_limits.h"
#include "image/decoders/picture_rows.h"
#include "image/orient.h"
#include "image/stop_check.h"

namespace {

struct StreamReader {
    FILE* stream;
    int64_t bytes;
};

int64_t ReaderPosition(void* userData) {
    return std::ftell(static_cast<StreamReader*>(userData)->stream);
}

int ReaderRead(void* data, size_t size, void* userData) {
    FILE* stream = static_cast<StreamReader*>(userData)->stream;
    return std::fread(data, 1, size, stream) == size ? 0 : 1;
}

int ReaderSeek(int64_t position, void* userData) {
    StreamReader* reader = static_cast<StreamReader*>(userData);
    if (position < 0 || position > reader->bytes) {
        return 1;
    }
    return std::fseek(reader->stream, static_cast<long>(position), SEEK_SET) == 0 ? 0 : 1;
}

heif_reader_grow_status ReaderWait(int64_t targetSize, void* userData) {
    // The file is whole: what lies beyond its end never comes.
    return targetSize <= static_cast<StreamReader*>(userData)->bytes
               ? heif_reader_grow_status_size_reached
               : heif_reader_grow_status_size_beyond_eof;
}

struct HeifWork {
    heif_context* context;
    heif_image_handle* handle;
    heif_decoding_options* options;
    heif_image* picture;
    PictureRows rows;
};

bool RunHeif(DibImage* image, HeifWork* work, StreamReader* source, const HeifPlan& plan,
             int32_t targetWidth, int32_t targetHeight, SizeRule rule) {
    static const heif_reader Reader = {1, ReaderPosition, ReaderRead, ReaderSeek, ReaderWait};
    work->context = heif_context_alloc();
    if (work->context == nullptr) {
        return false;
    }
    heif_context_set_maximum_image_size_limit(work->context, static_cast<int>(MaxPictureSide));
    if (std::fseek(source->stream, 0, SEEK_SET) != 0 ||
        heif_context_read_from_reader(work->context, &Reader, source, nullptr).code !=
            heif_error_Ok ||
        heif_context_get_primary_image_handle(work->context, &work->handle).code != heif_error_Ok) {
        return false;
    }
    const bool alpha = heif_image_handle_has_alpha_channel(work->handle) != 0;
    // The full-size picture the library hands over.
    if (static_cast<uint64_t>(plan.width) * plan.height * (alpha ? 4 : 3) > WorkMemoryLimit) {
        return false;
    }
    const bool swaps = OrientationSwapsSides(plan.orientation);
    const int32_t planned =
        ScaleDenominator(swaps ? plan.height : plan.width, swaps ? plan.width : plan.height,
                         targetWidth, targetHeight, rule);
    if (!ReducedPictureFits(plan.width, plan.height, static_cast<uint32_t>(planned))) {
        return false;
    }
    work->options = heif_decoding_options_alloc();
    if (work->options == nullptr) {
        return false;
    }
    work->options->convert_hdr_to_8bit = 1;
    work->options->strict_decoding = 1;
    work->options->ignore_transformations = 1;
    const heif_chroma chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    if (ShouldStop() ||
        heif_decode_image(work->handle, &work->picture, heif_colorspace_RGB, chroma, work->options)
                .code != heif_error_Ok) {
        return false;
    }
    int rowBytes = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(work->picture, heif_channel_interleaved, &rowBytes);
    const int channels = alpha ? 4 : 3;
    const int width = heif_image_get_width(work->picture, heif_channel_interleaved);
    const int height = heif_image_get_height(work->picture, heif_channel_interleaved);
    if (plane == nullptr || width <= 0 || height <= 0 ||
        static_cast<uint32_t>(width) > plan.width || static_cast<uint32_t>(height) > plan.height ||
        heif_image_get_bits_per_pixel_range(work->picture, heif_channel_interleaved) != 8) {
        return false;
    }
    // The reduction is chosen for the picture as it is shown.
    const int32_t d = ScaleDenominator(swaps ? height : width, swaps ? width : height, targetWidth,
                                       targetHeight, rule);
    if (!BeginRows(&work->rows, image, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                   static_cast<uint32_t>(d))) {
        return false;
    }
    for (int y = 0; y < height; ++y) {
        TakeRow(&work->rows, plane + static_cast<size_t>(y) * static_cast<size_t>(rowBytes),
                channels, true);
    }
    return OrientPicture(image, plan.orientation);
}

}  // namespace

bool DecodeHeif(DibImage* image, FILE* stream, int32_t targetWidth, int32_t targetHeight,
                SizeRule rule) {
    StreamReader source = {stream, StreamBytes(stream)};
    if (source.bytes <= 0) {
        return false;
    }
    HeifPlan plan;
    if (!PlanHeifDecode(stream, static_cast<uint64_t>(source.bytes), &plan)) {
        return false;
    }
    LimitDecodeMemory(plan.decodedPixels, 0);
    HeifWork work{};
    const bool decoded = RunHeif(image, &work, &source, plan, targetWidth, targetHeight, rule);
    heif_image_release(work.picture);
    heif_decoding_options_free(work.options);
    heif_image_handle_release(work.handle);
    heif_context_free(work.context);
    EndRows(&work.rows);
    return decoded;
}
