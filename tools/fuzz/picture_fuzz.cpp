// libFuzzer target for one decoder (chosen when built): any bytes as that format's file,
// through everything a frame does to it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "image/decoders/decode_picture.h"
#include "image/display.h"

namespace {
// The JPEG decoder in the shape of the others.
[[maybe_unused]] bool DecodeJpeg(DibImage* image, FILE* stream, int32_t targetWidth,
                                 int32_t targetHeight, SizeRule rule) {
    image->Decode(stream, targetWidth, targetHeight, rule);
    return image->loaded && !image->failed;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool tablesReady = false;
    if (!tablesReady) {
        BuildDitherTables();
        tablesReady = true;
    }
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (f == nullptr) {
        return 0;
    }
    // The box varies with the input so that every reduction and fitting path is reached.
    const int32_t box = size > 0 ? 8 + data[size - 1] : 64;
    static DibImage image;
    image.Release();
    image.loaded = 1;
    image.failed = FV_FUZZ_DECODER(&image, f, box * 2, box, SizeRuleFit) ? 0 : 1;
    std::fclose(f);
    if (!image.failed) {
        if (image.width > box * 2 || image.height > box) {
            image.Scale(box * 2, box, ScaleTypeFit);
        }
        image.MakeHeader();
        image.QuantizeToPalette();
        image.Dither();
    }
    image.Release();
    return 0;
}
