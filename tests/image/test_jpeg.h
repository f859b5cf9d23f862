#pragma once
// Test pictures made on the spot with the library's compressor, and small file helpers.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include "image/dib_image.h"

enum class JpegKind { Colour, Grey, Cmyk, Ycck };

struct JpegOptions {
    int width = 64;
    int height = 48;
    JpegKind kind = JpegKind::Colour;
    int quality = 90;
    int lumaH = 2;  // sampling factors of the first component; 1x1 for the others
    int lumaV = 2;
    bool progressive = false;
    bool arithmetic = false;
    int restartRows = 0;
    bool adobeMarker = true;    // four-component files only
    bool endlessScans = false;  // grey only: a valid progressive script of several hundred scans
    std::vector<std::vector<uint8_t>> app1;  // APP1 markers' contents, written after the JFIF one
};

// APP1 contents: "Exif\0\0", a TIFF header in the byte order asked and IFD0 with four entries,
// the third (at byte 40) the orientation, a single SHORT.
std::vector<uint8_t> OrientationBlock(int orientation, bool bigEndian);

// Interleaved samples in the order the kind takes them (RGB, grey, CMYK as stored).
std::vector<uint8_t> PhotoSamples(int width, int height, int components, uint32_t seed);
std::vector<uint8_t> EncodeJpeg(const JpegOptions& options, const std::vector<uint8_t>& samples);
std::vector<uint8_t> EncodeJpeg(const JpegOptions& options);  // photo-like samples
std::vector<uint8_t> TablesOnlyJpeg();

// Writes the bytes to a fresh file in the test's scratch folder and returns its path.
std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

// Opens the file and runs Decode on it; returns false when the file cannot be opened.
bool DecodeFile(DibImage& image, const std::string& path, int32_t boxWidth, int32_t boxHeight,
                SizeRule rule = SizeRuleFit);

// Sets the width and height of the first frame header to the given values.
void PatchFrameSize(std::vector<uint8_t>& jpeg, int width, int height);

// Pixel (x, y) of a picture as blue, green, red.
inline const uint8_t* PixelAt(const DibImage& image, int x, int y) {
    return image.pixels + static_cast<size_t>(y) * static_cast<size_t>(image.stride) + 3 * x;
}

// A picture filled from a generator, for the scaling and palette tests.
template <typename F>
void FillImage(DibImage& image, int32_t width, int32_t height, F byteAt) {
    image.Release();
    image.width = width;
    image.height = height;
    image.stride = DibStride(width);
    image.loaded = 1;
    image.TakePixels(static_cast<size_t>(image.stride) * static_cast<size_t>(height) + 1);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                image.pixels[y * image.stride + 3 * x + c] = static_cast<uint8_t>(byteAt(x, y, c));
            }
        }
    }
}
