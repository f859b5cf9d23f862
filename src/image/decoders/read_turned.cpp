#include "image/decoders/read_turned.h"

#include "image/decoders/decode.h"
#include "image/orient.h"

void ReadTurned(DibImage* image, jpeg_decompress_struct* cinfo, uint8_t* band, int32_t orientation,
                bool adobeInverted) {
    const size_t rowBytes = static_cast<size_t>(cinfo->output_width) * 4;
    JSAMPROW rows[TurnBandRows];
    for (int32_t i = 0; i < TurnBandRows; ++i) {
        rows[i] = band + static_cast<size_t>(i) * rowBytes;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION first = cinfo->output_scanline;
        const JDIMENSION want = cinfo->output_height - first;
        const JDIMENSION got = jpeg_read_scanlines(
            cinfo, rows, want < static_cast<JDIMENSION>(TurnBandRows) ? want : TurnBandRows);
        if (cinfo->out_color_components == 4) {
            // In place: each pixel's three bytes land at or before its four.
            for (JDIMENSION i = 0; i < got; ++i) {
                ConvertCmykRow(rows[i], rows[i], static_cast<int32_t>(cinfo->output_width),
                               adobeInverted);
            }
        }
        PlaceTurnedRows(image, band, rowBytes, static_cast<int32_t>(first),
                        static_cast<int32_t>(got), orientation);
    }
}
