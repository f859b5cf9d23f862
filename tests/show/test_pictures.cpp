#include "show/test_pictures.h"

#include <cstddef>
#include <cstdio>
#include <vector>
#include <jpeglib.h>

void WriteSolidJpeg(const std::string& path, int width, int height, Colour colour) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) {
        return;
    }
    jpeg_compress_struct compress;
    jpeg_error_mgr errors;
    compress.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compress);
    jpeg_stdio_dest(&compress, file);
    compress.image_width = static_cast<JDIMENSION>(width);
    compress.image_height = static_cast<JDIMENSION>(height);
    compress.input_components = 3;
    compress.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compress);
    jpeg_set_quality(&compress, 95, TRUE);
    jpeg_start_compress(&compress, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[3 * x] = colour.red;
        row[3 * x + 1] = colour.green;
        row[3 * x + 2] = colour.blue;
    }
    JSAMPROW rows[1] = {row.data()};
    while (compress.next_scanline < compress.image_height) {
        jpeg_write_scanlines(&compress, rows, 1);
    }
    jpeg_finish_compress(&compress);
    jpeg_destroy_compress(&compress);
    fclose(file);
}

void WriteBrokenJpeg(const std::string& path) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file) {
        fputs("\xFF\xD8 this is not a picture", file);
        fclose(file);
    }
}
