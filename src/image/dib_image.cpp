#include "image/dib_image.h"

#include <cstdlib>
#include "image/picture_memory.h"

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
    pixelBlock = nullptr;
    pixelBlockBytes = 0;
    workBlock = nullptr;
    workBlockBytes = 0;
}

void DibImage::Release() {
    std::free(indexPixels);
    std::free(header);
    pixels = nullptr;
    indexPixels = nullptr;
    header = nullptr;
    loaded = 0;
    failed = 0;
    dithered = 0;
}

void DibImage::FreeMemory() {
    Release();
    std::free(pixelBlock);
    std::free(workBlock);
    pixelBlock = nullptr;
    pixelBlockBytes = 0;
    workBlock = nullptr;
    workBlockBytes = 0;
}

namespace {
// Makes *block at least bytes long; its old content is not kept.
uint8_t* Grow(uint8_t** block, size_t* blockBytes, size_t bytes) {
    if (*block != nullptr && *blockBytes >= bytes) {
        return *block;
    }
    std::free(*block);
    *block = static_cast<uint8_t*>(AllocatePictureMemory(bytes));
    *blockBytes = *block != nullptr ? bytes : 0;
    return *block;
}
}  // namespace

bool DibImage::TakePixels(size_t bytes) {
    pixels = Grow(&pixelBlock, &pixelBlockBytes, bytes);
    return pixels != nullptr;
}

uint8_t* DibImage::TakeWork(size_t bytes) {
    return Grow(&workBlock, &workBlockBytes, bytes);
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
