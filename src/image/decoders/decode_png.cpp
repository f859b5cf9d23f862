// PNG through libpng: every colour type and depth into 8-bit blue-green-red rows, alpha over
// black, 16-bit samples rounded to 8. Gamma and colour profiles are ignored, as the JPEG
// decoder ignores them: the stored values are shown.

#include <png.h>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include "image/decoders/decode.h"
#include "image/decoders/decode_jail.h"
#include "image/decoders/decode_picture.h"
#include "image/decoders/picture_limits.h"
#include "image/decoders/picture_rows.h"
#include "image/stop_check.h"

namespace {

// Ancillary chunks are small; a hostile one must not take memory.
constexpr png_alloc_size_t ChunkBytesLimit = 8u * 1000 * 1000;
constexpr png_uint_32 ChunkCacheLimit = 64;

// Everything the jump point must see, kept outside the frame that calls setjmp.
struct PngWork {
    png_structp png;
    png_infop info;
    PictureRows rows;
    uint8_t* buffer;  // one stored row, or the whole stored picture when interlaced
};

void ReadStream(png_structp png, png_bytep data, size_t length) {
    FILE* stream = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, stream) != length) {
        png_error(png, "file ends early");
    }
}

[[noreturn]] void FailQuietly(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// libpng lets a chunk past the memory limit through with a warning; the picture fails instead.
void FailOnChunkLimit(png_structp png, png_const_charp message) {
    if (std::strstr(message, "too large") != nullptr ||
        std::strstr(message, "too long") != nullptr || std::strstr(message, "memory") != nullptr) {
        png_longjmp(png, 1);
    }
}

// Chunks the show has no use for are skipped unread: text, profiles and the rest can only
// cost memory and time. Transparency (tRNS) is kept.
void SkipUnusedChunks(png_structp png) {
    static const png_byte Unused[] =
        "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0"
        "pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, Unused,
                                static_cast<int>(sizeof Unused / 5));
    png_set_chunk_cache_max(png, ChunkCacheLimit);
}

// The declared picture against the file's bytes: its pixels, and the stored rows that the
// file's compressed data must inflate to.
bool DeclaredSizeFits(png_structp png, png_infop info, uint32_t width, uint32_t height,
                      int64_t fileBytes) {
    const uint64_t bytes = fileBytes > 0 ? static_cast<uint64_t>(fileBytes) : 0;
    const uint64_t stored = (static_cast<uint64_t>(png_get_rowbytes(png, info)) + 1) * height;
    return DeclaredPixelsFit(static_cast<uint64_t>(width) * height, bytes) &&
           StoredBytesFit(stored, bytes);
}

// Any colour type and depth as 8-bit blue-green-red with alpha when the file has it.
void AskForEightBitBgr(png_structp png, png_infop info) {
    const int colourType = png_get_color_type(png, info);
    if (png_get_bit_depth(png, info) == 16) {
        png_set_scale_16(png);
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colourType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(png);
    }
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_bgr(png);
}

bool ReadRows(DibImage* image, PngWork* work, uint32_t width, uint32_t height, int32_t d) {
    png_structp png = work->png;
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, work->info);
    const int32_t channels = png_get_channels(png, work->info);
    const size_t rowBytes = png_get_rowbytes(png, work->info);
    if ((channels != 3 && channels != 4) || !BeginRows(&work->rows, image, width, height, d)) {
        return false;
    }
    const bool interlaced = passes > 1;
    if (interlaced && rowBytes * height > WorkMemoryLimit) {
        return false;
    }
    // Plain rows that need no change go straight into the picture.
    const bool direct = !interlaced && channels == 3 && d == 1;
    work->buffer = static_cast<uint8_t*>(std::malloc(interlaced ? rowBytes * height : rowBytes));
    if (work->buffer == nullptr) {
        return false;
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < height; ++y) {
            if (ShouldStop()) {
                return false;
            }
            uint8_t* row = direct       ? image->pixels + static_cast<size_t>(y) * image->stride
                           : interlaced ? work->buffer + rowBytes * y
                                        : work->buffer;
            png_read_row(png, row, nullptr);
            if (!direct && !interlaced) {
                TakeRow(&work->rows, row, channels, false);
            }
        }
    }
    for (uint32_t y = 0; interlaced && y < height; ++y) {
        TakeRow(&work->rows, work->buffer + rowBytes * y, channels, false);
    }
    // The image data ended in place, and so must the file.
    png_read_end(png, nullptr);
    return true;
}

bool RunPng(DibImage* image, PngWork* work, FILE* stream, int32_t targetWidth, int32_t targetHeight,
            SizeRule rule) {
    const int64_t fileBytes = StreamBytes(stream);
    work->png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, FailQuietly, FailOnChunkLimit);
    if (work->png == nullptr) {
        return false;
    }
    work->info = png_create_info_struct(work->png);
    if (work->info == nullptr || setjmp(png_jmpbuf(work->png))) {
        return false;
    }
    png_set_read_fn(work->png, stream, ReadStream);
    png_set_user_limits(work->png, MaxPictureSide, MaxPictureSide);
    png_set_chunk_malloc_max(work->png, ChunkBytesLimit);
    SkipUnusedChunks(work->png);
    png_read_info(work->png, work->info);
    const uint32_t width = png_get_image_width(work->png, work->info);
    const uint32_t height = png_get_image_height(work->png, work->info);
    if (!DeclaredSizeFits(work->png, work->info, width, height, fileBytes)) {
        return false;
    }
    LimitDecodeMemory(static_cast<uint64_t>(width) * height, 0);
    const int32_t d = ScaleDenominator(width, height, targetWidth, targetHeight, rule);
    if (!ReducedPictureFits(width, height, static_cast<uint32_t>(d))) {
        return false;
    }
    AskForEightBitBgr(work->png, work->info);
    return ReadRows(image, work, width, height, d);
}

}  // namespace

bool DecodePng(DibImage* image, FILE* stream, int32_t targetWidth, int32_t targetHeight,
               SizeRule rule) {
    PngWork work{};
    const bool decoded = RunPng(image, &work, stream, targetWidth, targetHeight, rule);
    png_destroy_read_struct(&work.png, &work.info, nullptr);
    std::free(work.buffer);
    EndRows(&work.rows);
    return decoded;
}
