#pragma once
// JPEG files of one colour, made with the library's compressor, and a file that is no JPEG.

#include <cstdint>
#include <string>

struct Colour {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

void WriteSolidJpeg(const std::string& path, int width, int height, Colour colour);
void WriteBrokenJpeg(const std::string& path);
