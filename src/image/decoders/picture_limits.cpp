#include "image/decoders/picture_limits.h"

namespace {
constexpr uint64_t MaxFileBytes = uint64_t{1} << 40;  // keeps the products below from wrapping
}

bool DeclaredPixelsFit(uint64_t pixels, uint64_t fileBytes) {
    const uint64_t bytes = fileBytes < MaxFileBytes ? fileBytes : MaxFileBytes;
    return pixels <= FlatPixelsAllowance + PixelsPerFileByte * bytes;
}

bool StoredBytesFit(uint64_t storedBytes, uint64_t fileBytes) {
    const uint64_t bytes = fileBytes < MaxFileBytes ? fileBytes : MaxFileBytes;
    return storedBytes <= FlatPixelsAllowance * 4 + StoredBytesPerFileByte * bytes;
}
