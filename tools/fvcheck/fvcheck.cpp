// Runs the show's own picture steps on picture files (JPEG, PNG, WebP, HEIF) for one box and
// one display depth, reports what happened and optionally writes each result as a PPM file.
//   fvcheck [--box WxH] [--depth 24|16|8] [--no-fit] [--out DIR] file...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "image/decoders/decode.h"
#include "image/decoders/decode_picture.h"
#include "image/decoders/decode_runner.h"
#include "image/dib_image.h"
#include "image/display.h"
#include "image/decoders/exif_marker.h"
#include "image/decoders/jpeg_error_trap.h"
#include "show/show_engine.h"

namespace {

struct Options {
    int32_t boxWidth = 1920;
    int32_t boxHeight = 1080;
    int depth = 24;
    bool fit = true;
    const char* outDir = nullptr;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: fvcheck [--box WxH] [--depth 24|16|8] [--no-fit] [--out DIR] file.jpg...\n"
                 "  --box    the box the picture is fitted into (default 1920x1080)\n"
                 "  --depth  of a TrueColor display: 15 and 16 apply the ordered dither, 8 and\n"
                 "           less the 236-colour palette\n"
                 "  --no-fit stop after decoding\n"
                 "  --out    write DIR/<name>.ppm for every picture\n");
    return 2;
}

struct SourceSize {
    long width = 0;
    long height = 0;
    int components = 0;
    bool progressive = false;
    int32_t orientation = OrientationAsStored;
};

struct HeaderWork {
    jpeg_decompress_struct cinfo;
    JpegErrorTrap trap;
};

bool ReadSourceSize(HeaderWork* work, FILE* f, SourceSize* size) {
    work->cinfo.err = InitErrorTrap(&work->trap);
    if (setjmp(work->trap.jumpBuffer)) {
        jpeg_destroy_decompress(&work->cinfo);
        return false;
    }
    jpeg_create_decompress(&work->cinfo);
    UseStreamSource(&work->cinfo, f);
    ExifWatch exif;
    WatchExifOrientation(&work->cinfo, &exif);
    jpeg_read_header(&work->cinfo, TRUE);
    size->width = static_cast<long>(work->cinfo.image_width);
    size->height = static_cast<long>(work->cinfo.image_height);
    size->components = work->cinfo.num_components;
    size->progressive = work->cinfo.progressive_mode != 0;
    size->orientation = exif.orientation;
    jpeg_destroy_decompress(&work->cinfo);
    return true;
}

double Millis(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Writes what the screen would show: the pixels, or the palette colours of the indices.
bool WritePpm(const std::string& path, const DibImage& image, const ShowPaletteEntry* palette) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", image.width, image.height);
    std::string row(static_cast<size_t>(image.width) * 3, '\0');
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            uint8_t r, g, b;
            if (palette != nullptr) {
                // Draw copies palette entries byte for byte into blue, green, red.
                const ShowPaletteEntry& e =
                    palette[image.indexPixels[y * IndexStride(image.width) + x]];
                b = e.red, g = e.green, r = e.blue;
            } else {
                const uint8_t* p = image.pixels + y * image.stride + 3 * x;
                b = p[0], g = p[1], r = p[2];
            }
            row[3 * x] = static_cast<char>(r);
            row[3 * x + 1] = static_cast<char>(g);
            row[3 * x + 2] = static_cast<char>(b);
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    return std::fclose(out) == 0;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

int Check(const char* path, const Options& o, const ShowPaletteEntry* palette) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::printf("%s: cannot open\n", path);
        return 1;
    }
    SourceSize source;
    HeaderWork header{};
    bool known = ReadSourceSize(&header, f, &source);
    std::rewind(f);

    static DibImage image;
    auto t0 = std::chrono::steady_clock::now();
    PictureKind kind = PictureJpeg;
    const int32_t decoded = DecodeForBox(image, f, o.boxWidth, o.boxHeight, FormatsAll, kind);
    auto t1 = std::chrono::steady_clock::now();
    std::fclose(f);
    std::printf("%s: %s, ", path, PictureKindName(kind));
    if (known && kind == PictureJpeg) {
        std::printf("%ldx%ld %s%s, ", source.width, source.height,
                    source.components == 1   ? "grey"
                    : source.components == 4 ? "four-component"
                                             : "colour",
                    source.progressive ? " progressive" : "");
        if (source.orientation != OrientationAsStored) {
            std::printf("orientation %d, ", source.orientation);
        }
    }
    if (!decoded) {
        std::printf("FAILED to decode (%.1f ms)\n", Millis(t0, t1));
        return 1;
    }
    std::printf("decoded %dx%d in %.1f ms", image.width, image.height, Millis(t0, t1));
    if (o.fit) {
        const int32_t width = image.width;
        const int32_t height = image.height;
        auto t2 = std::chrono::steady_clock::now();
        FitIntoBox(image, o.boxWidth, o.boxHeight);
        auto t3 = std::chrono::steady_clock::now();
        if (image.width != width || image.height != height || image.failed) {
            std::printf(", fitted %dx%d in %.1f ms", image.width, image.height, Millis(t2, t3));
        }
        if (image.failed) {
            std::printf(": FAILED\n");
            return 1;
        }
    }
    auto t4 = std::chrono::steady_clock::now();
    const int32_t adapted = AdaptToDisplay(image);
    auto t5 = std::chrono::steady_clock::now();
    if (paletteDisplay) {
        std::printf(", quantized in %.1f ms", Millis(t4, t5));
    }
    if (!adapted) {
        std::printf(": FAILED\n");
        return 1;
    }
    std::printf("\n");
    if (o.outDir != nullptr) {
        std::string out = std::string(o.outDir) + "/" + BaseName(path) + ".ppm";
        if (!WritePpm(out, image, paletteDisplay ? palette : nullptr)) {
            std::printf("  cannot write %s\n", out.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        std::string arg = argv[first];
        bool hasValue = first + 1 < argc;
        if (arg == "--box" && hasValue) {
            if (std::sscanf(argv[++first], "%dx%d", &o.boxWidth, &o.boxHeight) != 2) {
                return Usage();
            }
        } else if (arg == "--depth" && hasValue) {
            o.depth = std::atoi(argv[++first]);
        } else if (arg == "--no-fit") {
            o.fit = false;
        } else if (arg == "--out" && hasValue) {
            o.outDir = argv[++first];
        } else {
            return Usage();
        }
    }
    if (first >= argc) {
        return Usage();
    }
    // A display of the given depth as the show sees it: TrueColor above 8 bits.
    ChooseDisplayAdaptation(o.depth, o.depth > 8);
    ShowPaletteEntry palette[PaletteColours];
    if (!BuildShowPaletteEntries(palette)) {
        return 1;
    }
    int failures = 0;
    for (int i = first; i < argc; ++i) {
        failures += Check(argv[i], o, palette);
    }
    // Waited for, so that what it cost is counted with this process.
    EndLibraryDecoder();
    return failures == 0 ? 0 : 1;
}
