// libFuzzer target: any bytes as a picture file, through everything a frame does to it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "image/dib_image.h"
#include "image/display.h"

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
    image.Decode(f, box * 2, box, SizeRuleFit);
    std::fclose(f);
    if (image.loaded && !image.failed) {
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
