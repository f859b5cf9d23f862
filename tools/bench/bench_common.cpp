#include "bench_common.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include "image/decoders/decode.h"
#include "image/decoders/exif_marker.h"
#include "image/decoders/exif_orientation.h"
#include "image/decoders/jpeg_library.h"

int ReadBenchArguments(int argc, char** argv, const char* program, int* reps) {
    *reps = 7;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--reps") == 0) {
        *reps = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--reps N] picture.jpg...\n", program);
        return 0;
    }
    return first;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string PictureName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {
// Reads the header and sets the reduction that Decode picks for the picture as shown.
void ReadHeaderReduced(jpeg_decompress_struct* cinfo, int32_t boxWidth, int32_t boxHeight) {
    ExifWatch exif;
    WatchExifOrientation(cinfo, &exif);
    jpeg_read_header(cinfo, TRUE);
    const bool sidesSwap = OrientationSwapsSides(exif.orientation);
    const JDIMENSION shownW = sidesSwap ? cinfo->image_height : cinfo->image_width;
    const JDIMENSION shownH = sidesSwap ? cinfo->image_width : cinfo->image_height;
    cinfo->scale_num = 1;
    cinfo->scale_denom =
        static_cast<unsigned>(ScaleDenominator(shownW, shownH, boxWidth, boxHeight, SizeRuleFit));
}
}  // namespace

int32_t BenchReduction(const char* path, int32_t boxWidth, int32_t boxHeight) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        return 0;
    }
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    ReadHeaderReduced(&cinfo, boxWidth, boxHeight);
    const int32_t d = static_cast<int32_t>(cinfo.scale_denom);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return d;
}

void PlainDecode(FILE* stream, int32_t boxWidth, int32_t boxHeight, bool keepPicture) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, stream);
    // The baseline does not turn the picture, but it reduces it as Decode does.
    ReadHeaderReduced(&cinfo, boxWidth, boxHeight);
    jpeg_start_decompress(&cinfo);
    const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    uint8_t* buffer =
        static_cast<uint8_t*>(std::malloc(keepPicture ? rowBytes * cinfo.output_height : rowBytes));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {buffer + (keepPicture ? rowBytes * cinfo.output_scanline : 0)};
        jpeg_read_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::free(buffer);
}
