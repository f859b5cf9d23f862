// Measures the show's per-frame work on given pictures and boxes: decode (with the DCT
// reduction), fit, their total and the peak heap, against a plain library decode of the same
// file at the same reduction, measured in the same run.
//   image_bench [--reps N] picture...     (pictures: scripts/make-bench-pictures.sh)
// Times are medians of CPU time. The baseline is the format's library alone decoding the file
// into a whole picture (JPEG, WebP: at the reduction the show takes; PNG, HEIF: at full size,
// as they cannot reduce); the rows-only figure decodes into one reused row where the library
// can (JPEG, PNG), keeping nothing.
#include <sys/resource.h>
#include <libheif/heif.h>
#include <malloc.h>
#include <png.h>
#include <webp/decode.h>

#include <atomic>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "bench_common.h"
#include "image/decoders/decode.h"
#include "image/decoders/decode_picture.h"
#include "image/decoders/decode_runner.h"
#include "image/dib_image.h"

// Heap accounting: every allocation of the process goes through these, so the peak of live
// bytes during a frame is exact, the library's buffers included.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
}

namespace {
std::atomic<long> liveBytes{0};
std::atomic<long> peakBytes{0};

void Count(void* p, long sign) {
    if (p != nullptr) {
        long now = liveBytes.fetch_add(sign * static_cast<long>(malloc_usable_size(p))) +
                   sign * static_cast<long>(malloc_usable_size(p));
        long peak = peakBytes.load();
        while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
        }
    }
}
}  // namespace

extern "C" {
void* malloc(size_t n) {
    void* p = __libc_malloc(n);
    Count(p, 1);
    return p;
}
void* calloc(size_t n, size_t m) {
    void* p = __libc_calloc(n, m);
    Count(p, 1);
    return p;
}
void* realloc(void* old, size_t n) {
    Count(old, -1);
    void* p = __libc_realloc(old, n);
    Count(p != nullptr ? p : old, 1);
    return p;
}
void free(void* p) {
    Count(p, -1);
    __libc_free(p);
}
void* memalign(size_t a, size_t n) {
    void* p = __libc_memalign(a, n);
    Count(p, 1);
    return p;
}
void* aligned_alloc(size_t a, size_t n) {
    return memalign(a, n);
}
int posix_memalign(void** out, size_t a, size_t n) {
    *out = memalign(a, n);
    return *out != nullptr ? 0 : 12;
}
}

namespace {

// CPU time of the process and of the decoding process, live or ended (page faults included),
// which counts the HEIF decoder's own threads: other work on the machine moves wall time by
// tens of percent, this by a few.
struct Clock {
    using time_point = double;
    static double now() {
        rusage ended;
        getrusage(RUSAGE_CHILDREN, &ended);
        return Millis(CLOCK_PROCESS_CPUTIME_ID) + Millis(DecoderClock()) + Millis(ended.ru_utime) +
               Millis(ended.ru_stime);
    }
    static clockid_t DecoderClock() {
        clockid_t decoder;
        const int32_t pid = LibraryDecoderProcess();
        return pid != 0 && clock_getcpuclockid(pid, &decoder) == 0 ? decoder : clockid_t{-1};
    }
    static double Millis(clockid_t clock) {
        timespec t;
        return clock != clockid_t{-1} && clock_gettime(clock, &t) == 0
                   ? t.tv_sec * 1e3 + t.tv_nsec / 1e6
                   : 0;
    }
    static double Millis(const timeval& v) { return v.tv_sec * 1e3 + v.tv_usec / 1e3; }
};

double Ms(double a, double b) {
    return b - a;
}

// libpng alone: 8-bit RGB(A) rows, as many as the file has.
void PlainPng(FILE* stream, bool keepPicture) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, stream);
    png_read_info(png, info);
    png_set_scale_16(png);
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const uint32_t height = png_get_image_height(png, info);
    keepPicture = keepPicture || passes > 1;
    uint8_t* buffer =
        static_cast<uint8_t*>(std::malloc(keepPicture ? rowBytes * height : rowBytes));
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < height; ++y) {
            png_read_row(png, buffer + (keepPicture ? rowBytes * y : 0), nullptr);
        }
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(buffer);
}

// libwebp alone: RGB at the show's reduction, through its own scaler.
void PlainWebp(FILE* stream, int32_t boxWidth, int32_t boxHeight) {
    std::vector<uint8_t> file;
    uint8_t block[65536];
    for (size_t n; (n = std::fread(block, 1, sizeof block, stream)) > 0;) {
        file.insert(file.end(), block, block + n);
    }
    WebPDecoderConfig config;
    WebPInitDecoderConfig(&config);
    WebPGetFeatures(file.data(), file.size(), &config.input);
    const int32_t d =
        ScaleDenominator(config.input.width, config.input.height, boxWidth, boxHeight, SizeRuleFit);
    if (d > 1) {
        config.options.use_scaling = 1;
        config.options.scaled_width = (config.input.width + d - 1) / d;
        config.options.scaled_height = (config.input.height + d - 1) / d;
    }
    config.output.colorspace = MODE_RGB;
    WebPDecode(file.data(), file.size(), &config);
    WebPFreeDecBuffer(&config.output);
}

// libheif alone: the primary picture as interleaved RGB.
void PlainHeif(const char* path) {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* picture = nullptr;
    if (heif_context_read_from_file(context, path, nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        heif_decode_image(handle, &picture, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                          nullptr);
    }
    heif_image_release(picture);
    heif_image_handle_release(handle);
    heif_context_free(context);
}

PictureKind KindOf(const char* path) {
    uint8_t head[12] = {};
    FILE* f = std::fopen(path, "rb");
    size_t n = f ? std::fread(head, 1, sizeof head, f) : 0;
    if (f) {
        std::fclose(f);
    }
    return SniffPicture(head, n);
}

// The plain decode, timed, with its peak heap.
double TimePlainDecode(const char* path, int32_t boxWidth, int32_t boxHeight, bool keepPicture,
                       long* peak) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        return -1;
    }
    long before = liveBytes.load();
    peakBytes.store(before);
    auto t0 = Clock::now();
    switch (KindOf(path)) {
        case PicturePng:
            PlainPng(f, keepPicture);
            break;
        case PictureWebp:
            PlainWebp(f, boxWidth, boxHeight);
            break;
        case PictureHeif:
            PlainHeif(path);
            break;
        default:
            PlainDecode(f, boxWidth, boxHeight, keepPicture);
    }
    auto t1 = Clock::now();
    std::fclose(f);
    *peak = peakBytes.load() - before;
    return Ms(t0, t1);
}

struct FrameTimes {
    double decode = 0, fit = 0, total = 0;
    long peak = 0;
    int decodedW = 0, decodedH = 0, fittedW = 0, fittedH = 0;
    bool failed = false;
};

// One frame as the show renders it, up to the drawing.
FrameTimes Frame(DibImage& image, const char* path, int32_t boxWidth, int32_t boxHeight) {
    FrameTimes t;
    image.Release();
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        t.failed = true;
        return t;
    }
    long before = liveBytes.load();
    peakBytes.store(before);
    auto t0 = Clock::now();
    DecodePicture(&image, f, boxWidth, boxHeight, SizeRuleFit, FormatsAll);
    auto t1 = Clock::now();
    t.decodedW = image.width;
    t.decodedH = image.height;
    if (!image.failed && (image.width > boxWidth || image.height > boxHeight)) {
        image.Scale(boxWidth, boxHeight, ScaleTypeFit);
    }
    image.MakeHeader();
    auto t2 = Clock::now();
    std::fclose(f);
    t.fittedW = image.width;
    t.fittedH = image.height;
    t.failed = image.failed != 0;
    t.decode = Ms(t0, t1);
    t.fit = Ms(t1, t2);
    t.total = Ms(t0, t2);
    t.peak = peakBytes.load() - before;
    return t;
}

// The same library decode in this process, without the decoding process around it: the
// difference to the frame's decode is what that process costs a frame. 0 for JPEG.
double InProcessDecode(DibImage& image, const char* path, int32_t boxWidth, int32_t boxHeight) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        return 0;
    }
    uint8_t head[12] = {};
    const PictureKind kind = SniffPicture(head, std::fread(head, 1, sizeof head, f));
    std::rewind(f);
    double ms = 0;
    if (kind != PictureJpeg) {
        image.Release();
        auto t0 = Clock::now();
        DecodeWithLibrary(kind, &image, f, boxWidth, boxHeight, SizeRuleFit);
        ms = Ms(t0, Clock::now());
    }
    std::fclose(f);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 0;
    const int first = ReadBenchArguments(argc, argv, "image_bench", &reps);
    if (first == 0) {
        return 2;
    }
    const int32_t boxes[][2] = {{1920, 1080}, {3840, 2160}, {152, 112}};
    std::printf(
        "| picture | box | decoded | fitted | decode ms | in-process ms | fit ms | total ms | "
        "baseline ms | ratio | rows-only ms | ratio | peak MB | pictures MB |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    DibImage image;
    for (int i = first; i < argc; ++i) {
        for (const auto& box : boxes) {
            std::vector<double> decode, fit, total, plain, rowsOnly, inProcess;
            FrameTimes last;
            long plainPeak = 0;
            TimePlainDecode(argv[i], box[0], box[1], false, &plainPeak);  // warm the file cache
            for (int r = 0; r < reps; ++r) {
                // Alternate so that both see the same machine state.
                plain.push_back(TimePlainDecode(argv[i], box[0], box[1], true, &plainPeak));
                rowsOnly.push_back(TimePlainDecode(argv[i], box[0], box[1], false, &plainPeak));
                last = Frame(image, argv[i], box[0], box[1]);
                decode.push_back(last.decode);
                fit.push_back(last.fit);
                total.push_back(last.total);
                inProcess.push_back(InProcessDecode(image, argv[i], box[0], box[1]));
            }
            double pictures = (static_cast<double>(DibStride(last.decodedW)) * last.decodedH +
                               static_cast<double>(DibStride(last.fittedW)) * last.fittedH) /
                              1048576.0;
            if (last.fittedW == last.decodedW && last.fittedH == last.decodedH) {
                pictures =
                    static_cast<double>(DibStride(last.decodedW)) * last.decodedH / 1048576.0;
            }
            std::printf(
                "| %s | %dx%d | %dx%d | %dx%d | %.1f | %.1f | %.1f | %.1f | %.1f | %.2f | %.1f | "
                "%.2f | %.1f | %.1f |%s\n",
                PictureName(argv[i]).c_str(), box[0], box[1], last.decodedW, last.decodedH,
                last.fittedW, last.fittedH, Median(decode), Median(inProcess), Median(fit),
                Median(total), Median(plain), Median(total) / Median(plain), Median(rowsOnly),
                Median(total) / Median(rowsOnly), last.peak / 1048576.0, pictures,
                last.failed ? " FAILED" : "");
            std::fflush(stdout);
        }
    }
    image.Release();
    return 0;
}
