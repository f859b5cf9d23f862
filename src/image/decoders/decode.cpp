#include "image/decoders/decode.h"

#include <cstdlib>
#include <jerror.h>
#include "base/trace.h"
#include "image/decoders/exif_marker.h"
#include "image/decoders/jpeg_error_trap.h"
#include "image/orient.h"
#include "image/picture_memory.h"
#include "image/decoders/read_turned.h"
#include "image/stop_check.h"

int32_t ScaleDenominator(int64_t imageWidth, int64_t imageHeight, int32_t targetWidth,
                         int32_t targetHeight, SizeRule rule) {
    if (rule != 1 && rule != 2) {
        return 1;
    }
    int64_t limitW = (3 * static_cast<int64_t>(targetWidth)) / 2;
    int64_t limitH = (3 * static_cast<int64_t>(targetHeight)) / 2;
    int32_t d = 1;
    while (d < 8 && imageWidth / d > limitW) {
        d *= 2;
    }
    while (d < 8 && imageHeight / d > limitH) {
        d *= 2;
    }
    return d;
}

namespace {

constexpr size_t StreamBlockBytes = 32768;

[[noreturn]] void GiveUp(j_decompress_ptr cinfo) {
    cinfo->err->msg_code = JERR_NOT_COMPILED;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    std::abort();  // error_exit never returns
}

// A standard-stream source that reads the file in 32768-byte blocks. It answers a stop at
// every block, and it ends the file early where reading on yields nothing: a hole of zeros, or
// a stream without an end marker that goes on for gigabytes, would otherwise be read whole.
struct StreamSource {
    jpeg_source_mgr pub;
    FILE* stream;
    JOCTET* buffer;
    bool startOfFile;
    uint64_t bytesRead;  // of the file itself, not the end marker fed after it
    // Where the decoder last delivered something: a scan, a row of blocks or an output row.
    uint64_t bytesAtYield;
    int scanAtYield;
    JDIMENSION blockRowAtYield;
    JDIMENSION outputRowAtYield;
};

void InitSource(j_decompress_ptr cinfo) {
    reinterpret_cast<StreamSource*>(cinfo->src)->startOfFile = true;
}

// True once reading on is pointless: megabytes hunted through for a marker, or read since the
// decoder last yielded anything (the headers count from the start of the file).
bool ReadingYieldsNothing(StreamSource* src, j_decompress_ptr cinfo) {
    if (cinfo->input_scan_number != src->scanAtYield ||
        cinfo->input_iMCU_row != src->blockRowAtYield ||
        cinfo->output_scanline != src->outputRowAtYield) {
        src->scanAtYield = cinfo->input_scan_number;
        src->blockRowAtYield = cinfo->input_iMCU_row;
        src->outputRowAtYield = cinfo->output_scanline;
        src->bytesAtYield = src->bytesRead;
    }
    return cinfo->marker->discarded_bytes > MarkerHuntBytesLimit ||
           src->bytesRead - src->bytesAtYield > BytesWithoutYieldLimit;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    StreamSource* src = reinterpret_cast<StreamSource*>(cinfo->src);
    if (ShouldStop()) {
        GiveUp(cinfo);
    }
    size_t n = 0;
    if (!ReadingYieldsNothing(src, cinfo)) {
        n = std::fread(src->buffer, 1, StreamBlockBytes, src->stream);
        src->bytesRead += n;
    }
    if (n == 0) {
        if (src->startOfFile) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        // A file that ends early decodes to the end with filler data: feed an end marker.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    src->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    if (count <= 0) {
        return;
    }
    while (count > static_cast<long>(src->bytes_in_buffer)) {
        count -= static_cast<long>(src->bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr /*cinfo*/) {}

// The decoder's work so far, in blocks that its scans have walked. A scan walks every block of
// its components whatever the file holds for them, so a few bytes declaring a huge picture with
// hundreds of scans cost minutes; real files hold far more bytes for every block they make.
struct WorkWatch {
    jpeg_progress_mgr pub;
    int scan;               // the scan counted so far
    JDIMENSION row;         // its iMCU rows counted so far
    uint64_t blocksPerRow;  // its blocks in one iMCU row
    uint64_t blockVisits;
};

uint64_t BlocksPerRow(j_decompress_ptr cinfo) {
    uint64_t blocks = 0;
    for (int i = 0; i < cinfo->comps_in_scan; ++i) {
        const jpeg_component_info* component = cinfo->cur_comp_info[i];
        blocks += static_cast<uint64_t>(component->width_in_blocks) *
                  static_cast<uint64_t>(component->v_samp_factor);
    }
    return blocks;
}

void CountBlockVisits(WorkWatch* watch, j_decompress_ptr cinfo) {
    if (cinfo->input_scan_number != watch->scan) {
        // Between two looks the last scan ran to its end.
        if (watch->scan > 0 && watch->row < cinfo->total_iMCU_rows) {
            watch->blockVisits += (cinfo->total_iMCU_rows - watch->row) * watch->blocksPerRow;
        }
        watch->scan = cinfo->input_scan_number;
        watch->row = 0;
        watch->blocksPerRow = BlocksPerRow(cinfo);
    }
    if (cinfo->input_iMCU_row > watch->row) {
        watch->blockVisits += (cinfo->input_iMCU_row - watch->row) * watch->blocksPerRow;
        watch->row = cinfo->input_iMCU_row;
    }
}

// Called by the library inside every pass. Real encoders write a dozen scans or so; thousands
// of tiny scans over a large picture are an attack that would keep the decoder busy for minutes.
// So is any work far beyond what the file's bytes can describe. A stop asked for by the front
// end ends the decode as a failure: the frame stays as it is.
void WatchDecodeWork(j_common_ptr cinfo) {
    j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
    WorkWatch* watch = reinterpret_cast<WorkWatch*>(d->progress);
    CountBlockVisits(watch, d);
    const uint64_t bytes = reinterpret_cast<StreamSource*>(d->src)->bytesRead;
    // Past the end of its data, an arithmetic decoder still decodes every coefficient of a
    // block, at hundreds of times the cost of a Huffman decoder's filler.
    const uint64_t allowance =
        d->arith_code ? BlockVisitsAllowance / ArithmeticBlockCost : BlockVisitsAllowance;
    const bool beyondFile = watch->blockVisits > BlockVisitsPerByte * bytes + allowance;
    if (d->input_scan_number > MaxProgressiveScans || beyondFile || ShouldStop()) {
        GiveUp(d);
    }
}

void UseWorkWatch(j_decompress_ptr cinfo, WorkWatch* watch) {
    watch->pub.progress_monitor = WatchDecodeWork;
    watch->scan = 0;
    watch->row = 0;
    watch->blocksPerRow = 0;
    watch->blockVisits = 0;
    cinfo->progress = &watch->pub;
}

// Bytes of the picture that the output dimensions make, as it will be shown.
size_t OutputPictureBytes(j_decompress_ptr cinfo, bool sidesSwap) {
    const JDIMENSION shownWidth = sidesSwap ? cinfo->output_height : cinfo->output_width;
    const JDIMENSION shownHeight = sidesSwap ? cinfo->output_width : cinfo->output_height;
    return static_cast<size_t>(DibStride(static_cast<int32_t>(shownWidth))) * shownHeight;
}

// The coefficients of every block the picture declares: what the library allocates and
// clears before reading a scan when the file has several, and what it walks when it has one.
uint64_t DeclaredCoefficientBytes(j_decompress_ptr cinfo) {
    uint64_t blocks = 0;
    for (int i = 0; i < cinfo->num_components; ++i) {
        const jpeg_component_info& c = cinfo->comp_info[i];
        const uint64_t h = static_cast<uint64_t>(c.h_samp_factor);
        const uint64_t v = static_cast<uint64_t>(c.v_samp_factor);
        blocks += (c.width_in_blocks + h - 1) / h * h * ((c.height_in_blocks + v - 1) / v * v);
    }
    return blocks * sizeof(JBLOCK);
}

// Every block that a file codes costs at least one bit, so a file whose blocks are all there
// holds at most 1024 bytes of coefficients per byte. One that declares far more is mostly
// missing: decoding it would clear hundreds of megabytes or fill a huge picture with nothing.
bool DeclaredSizeAbsurd(uint64_t coefficientBytes, uint64_t fileBytes) {
    return fileBytes > 0 && coefficientBytes > CoefficientFloorBytes &&
           coefficientBytes / CoefficientBytesPerFileByte > fileBytes;
}

constexpr int RowsPerRead = 16;  // covers the library's largest output group

// Everything the jump point must see, kept outside the frame that calls setjmp.
struct DecodeWork {
    jpeg_decompress_struct cinfo;
    JpegErrorTrap trap;
    WorkWatch watch;
    JSAMPROW rowPointers[RowsPerRead];
    uint8_t* row;  // four-component files, or the band of turned ones
    bool adobeInverted;
};

// Grey and colour rows come out of the library already as blue-green-red, straight into
// the picture: the library's own colour conversion with the channels placed in that order,
// the same bytes as converting its RGB rows, without the extra pass over every pixel.
void ReadDirect(DibImage* image, jpeg_decompress_struct* cinfo, JSAMPROW* rows) {
    while (cinfo->output_scanline < cinfo->output_height) {
        JDIMENSION first = cinfo->output_scanline;
        JDIMENSION count = cinfo->output_height - first;
        count = count < RowsPerRead ? count : RowsPerRead;
        for (JDIMENSION i = 0; i < count; ++i) {
            rows[i] = image->pixels + (first + i) * static_cast<size_t>(image->stride);
        }
        jpeg_read_scanlines(cinfo, rows, count);
    }
}

void ReadFourComponents(DibImage* image, DecodeWork* work) {
    jpeg_decompress_struct* cinfo = &work->cinfo;
    work->rowPointers[0] = work->row;
    while (cinfo->output_scanline < cinfo->output_height) {
        JDIMENSION r = cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, work->rowPointers, 1);
        ConvertCmykRow(work->row, image->pixels + r * static_cast<size_t>(image->stride),
                       image->width, work->adobeInverted);
    }
}

// Returns true when the picture decoded; false after a library error or a refused size.
bool RunDecoder(DibImage* image, DecodeWork* work, FILE* stream, int32_t targetWidth,
                int32_t targetHeight, SizeRule rule) {
    jpeg_decompress_struct* cinfo = &work->cinfo;
    cinfo->err = InitErrorTrap(&work->trap);
    if (setjmp(work->trap.jumpBuffer)) {
        Trace("jpeg: library error");
        std::free(work->row);
        work->row = nullptr;
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = JpegLibraryMemoryLimit;
    UseWorkWatch(cinfo, &work->watch);
    UseStreamSource(cinfo, stream);
    ExifWatch exif;
    WatchExifOrientation(cinfo, &exif);
    jpeg_read_header(cinfo, TRUE);

    // The reduction is chosen for the picture as it will stand on the screen.
    const int32_t orientation = exif.orientation;
    const bool sidesSwap = OrientationSwapsSides(orientation);
    const int64_t shownWidth = sidesSwap ? cinfo->image_height : cinfo->image_width;
    const int64_t shownHeight = sidesSwap ? cinfo->image_width : cinfo->image_height;
    int32_t d = ScaleDenominator(shownWidth, shownHeight, targetWidth, targetHeight, rule);
    work->adobeInverted = cinfo->saw_Adobe_marker != 0;

    // Refuse before the library allocates the picture-sized parts of a progressive decode.
    // On a very large screen the rule can ask for more pixels than the limit; the next
    // reduction that fits is taken then, and the fit does the rest.
    const bool fitRule = rule == 1 || rule == 2;
    size_t pictureBytes = 0;
    for (;;) {
        cinfo->scale_num = 1;
        cinfo->scale_denom = static_cast<unsigned int>(d);
        jpeg_calc_output_dimensions(cinfo);
        pictureBytes = OutputPictureBytes(cinfo, sidesSwap);
        if (pictureBytes <= PixelMemoryLimit || !fitRule || d >= 8) {
            break;
        }
        d *= 2;
    }
    const int32_t components = cinfo->out_color_components;
    const JDIMENSION pictureWidth = sidesSwap ? cinfo->output_height : cinfo->output_width;
    const JDIMENSION pictureHeight = sidesSwap ? cinfo->output_width : cinfo->output_height;
    const bool knownLayout = components == 1 || components == 3 || components == 4;
    if (!knownLayout || pictureBytes > PixelMemoryLimit ||
        DeclaredSizeAbsurd(DeclaredCoefficientBytes(cinfo), StreamFileBytes(stream))) {
        Trace("jpeg: picture refused");
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    if (components != 4) {
        cinfo->out_color_space = JCS_EXT_BGR;
    }

    jpeg_start_decompress(cinfo);
    image->width = static_cast<int32_t>(pictureWidth);
    image->height = static_cast<int32_t>(pictureHeight);
    image->components = components;
    image->stride = DibStride(image->width);
    // Turned pictures go through a band of rows; four-component ones through one row.
    const bool needsRow = sidesSwap || components == 4;
    if (needsRow) {
        work->row = static_cast<uint8_t*>(std::malloc(sidesSwap ? TurnBandBytes(cinfo->output_width)
                                                                : cinfo->output_width * size_t{4}));
    }
    const bool pixelsTaken = image->TakePixels(pictureBytes);
    if (!pixelsTaken || (needsRow && work->row == nullptr)) {
        Trace("jpeg: out of memory");
        std::free(work->row);
        work->row = nullptr;
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    if (sidesSwap) {
        ReadTurned(image, cinfo, work->row, orientation, work->adobeInverted);
    } else if (components == 4) {
        ReadFourComponents(image, work);
    } else {
        ReadDirect(image, cinfo, work->rowPointers);
    }
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    std::free(work->row);
    work->row = nullptr;
    OrientInPlace(image, orientation);
    return true;
}

}  // namespace

void UseStreamSource(j_decompress_ptr cinfo, FILE* stream) {
    j_common_ptr common = reinterpret_cast<j_common_ptr>(cinfo);
    StreamSource* src = static_cast<StreamSource*>(
        (*cinfo->mem->alloc_small)(common, JPOOL_PERMANENT, sizeof(StreamSource)));
    src->buffer =
        static_cast<JOCTET*>((*cinfo->mem->alloc_small)(common, JPOOL_PERMANENT, StreamBlockBytes));
    src->stream = stream;
    src->startOfFile = true;
    src->bytesRead = 0;
    src->bytesAtYield = 0;
    src->scanAtYield = 0;
    src->blockRowAtYield = 0;
    src->outputRowAtYield = 0;
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInputBuffer;
    src->pub.skip_input_data = SkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    cinfo->src = &src->pub;
}

void DibImage::Decode(FILE* stream, int32_t targetWidth, int32_t targetHeight, SizeRule rule) {
    Release();
    loaded = 1;
    failed = 0;
    DecodeWork work{};
    if (stream == nullptr || !RunDecoder(this, &work, stream, targetWidth, targetHeight, rule)) {
        failed = 1;
    }
}
