#include "image/dib_image.h"

#include <cstdlib>

void DibImage::Init() {
    height = 0;
    width = 0;
    stride = 0;
    components = 0;
    loaded = 0;
    failed = 0;
    dithered = 0;
    pixels = nullptr;
    indexPixels = nullptr;
    header = nullptr;
}

void DibImage::Release() {
    std::free(pixels);
    std::free(indexPixels);
    std::free(header);
    pixels = nullptr;
    indexPixels = nullptr;
    header = nullptr;
    loaded = 0;
    failed = 0;
    dithered = 0;
}

void DibImage::MakeHeader() {
    if (header == nullptr) {
        header = static_cast<DibHeader*>(std::calloc(1, sizeof(DibHeader)));
        if (header == nullptr) {
            // Draw needs the header; a picture that cannot be described is not drawn.
            failed = 1;
            return;
        }
    }
    header->biSize = 40;
    header->biWidth = width;
    header->biHeight = -height;
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = 0;
    header->biSizeImage = 0;
    header->biXPelsPerMeter = 1000;
    header->biYPelsPerMeter = 1000;
    header->biClrUsed = 0;
    header->biClrImportant = 0;
}
