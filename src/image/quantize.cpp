#include <cstdlib>
#include <cstring>
#include "base/trace.h"
#include "image/dib_image.h"
#include "image/display.h"
#include "image/decoders/jpeg_error_trap.h"

namespace {

// A decompression object set up by hand, without data or header, so that the library's
// one-pass quantizer can run over rows of three-byte pixels.
struct QuantizerContext {
    jpeg_decompress_struct cinfo;
    JpegErrorTrap trap;
    uint8_t* indices;
};

// The clamping table that jpeg_start_decompress would build: zeros below, the identity, 255s,
// then the wrapped half that the inverse DCT uses. The quantizer reads the first three parts.
void PrepareSampleRangeLimit(j_decompress_ptr cinfo) {
    constexpr int Samples = MAXJSAMPLE + 1;
    JSAMPLE* table = static_cast<JSAMPLE*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                   (5 * Samples + CENTERJSAMPLE) * sizeof(JSAMPLE)));
    table += Samples;
    cinfo->sample_range_limit = table;
    std::memset(table - Samples, 0, Samples);
    for (int i = 0; i < Samples; ++i) {
        table[i] = static_cast<JSAMPLE>(i);
    }
    table += CENTERJSAMPLE;
    for (int i = CENTERJSAMPLE; i < 2 * Samples; ++i) {
        table[i] = MAXJSAMPLE;
    }
    std::memset(table + 2 * Samples, 0, 2 * Samples - CENTERJSAMPLE);
    std::memcpy(table + 4 * Samples - CENTERJSAMPLE, cinfo->sample_range_limit, CENTERJSAMPLE);
}

// Runs after the caller has set the jump point.
void OpenQuantizer(QuantizerContext* q, int32_t width, int32_t height) {
    j_decompress_ptr cinfo = &q->cinfo;
    jpeg_create_decompress(cinfo);
    cinfo->do_fancy_upsampling = FALSE;
    cinfo->image_width = cinfo->output_width = static_cast<JDIMENSION>(width);
    cinfo->image_height = cinfo->output_height = static_cast<JDIMENSION>(height);
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    cinfo->quantize_colors = TRUE;
    cinfo->two_pass_quantize = FALSE;
    cinfo->enable_2pass_quant = FALSE;
    cinfo->dither_mode = JDITHER_FS;
    cinfo->desired_number_of_colors = PaletteColours;
    cinfo->actual_number_of_colors = PaletteColours;
    cinfo->num_components = 3;
    cinfo->out_color_space = JCS_RGB;
    cinfo->data_precision = 8;
    cinfo->out_color_components = cinfo->num_components;
    cinfo->output_components = 1;
    PrepareSampleRangeLimit(cinfo);
    jinit_1pass_quantizer(cinfo);
    (*cinfo->cquantize->start_pass)(cinfo, FALSE);
}

void CloseQuantizer(QuantizerContext* q) {
    (*q->cinfo.cquantize->finish_pass)(&q->cinfo);
    jpeg_abort(reinterpret_cast<j_common_ptr>(&q->cinfo));
    jpeg_destroy_decompress(&q->cinfo);
}

bool RunPaletteBuild(QuantizerContext* q, ShowPaletteEntry* entries) {
    q->cinfo.err = InitErrorTrap(&q->trap);
    if (setjmp(q->trap.jumpBuffer)) {
        jpeg_destroy_decompress(&q->cinfo);
        return false;
    }
    OpenQuantizer(q, 100, 100);
    int count = q->cinfo.actual_number_of_colors;
    for (int i = 0; i < PaletteColours; ++i) {
        ShowPaletteEntry& e = entries[i];
        e.red = i < count ? q->cinfo.colormap[0][i] : 0;
        e.green = i < count ? q->cinfo.colormap[1][i] : 0;
        e.blue = i < count ? q->cinfo.colormap[2][i] : 0;
        e.flags = PaletteNoCollapse;
    }
    CloseQuantizer(q);
    return true;
}

// The quantizer sees blue as component 0: Draw copies palette entries byte for byte into
// the colour table, which turns the palette's red into the table's blue.
bool RunQuantizer(DibImage* image, QuantizerContext* q) {
    q->cinfo.err = InitErrorTrap(&q->trap);
    if (setjmp(q->trap.jumpBuffer)) {
        std::free(q->indices);
        q->indices = nullptr;
        jpeg_destroy_decompress(&q->cinfo);
        return false;
    }
    OpenQuantizer(q, image->width, image->height);
    const size_t indexStride = static_cast<size_t>(IndexStride(image->width));
    q->indices =
        static_cast<uint8_t*>(std::malloc(indexStride * static_cast<size_t>(image->height) + 1));
    if (q->indices == nullptr) {
        jpeg_destroy_decompress(&q->cinfo);
        return false;
    }
    for (int32_t r = 0; r < image->height; ++r) {
        JSAMPROW in = image->pixels + static_cast<size_t>(r) * static_cast<size_t>(image->stride);
        JSAMPROW out = q->indices + static_cast<size_t>(r) * indexStride;
        (*q->cinfo.cquantize->color_quantize)(&q->cinfo, &in, &out, 1);
    }
    CloseQuantizer(q);
    std::free(image->indexPixels);
    image->indexPixels = q->indices;
    q->indices = nullptr;
    return true;
}

}  // namespace

int32_t BuildShowPaletteEntries(ShowPaletteEntry entries[PaletteColours]) {
    QuantizerContext q{};
    return RunPaletteBuild(&q, entries) ? 1 : 0;
}

void DibImage::QuantizeToPalette() {
    if (pixels == nullptr || failed) {
        return;
    }
    QuantizerContext q{};
    if (!RunQuantizer(this, &q)) {
        Trace("quantize: failed");
        failed = 1;
    }
}
