#include "image/decoders/exif_orientation.h"

#include <cstring>

namespace {

constexpr uint8_t ExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint16_t OrientationTag = 0x0112;
constexpr uint16_t ShortType = 3;
constexpr size_t TiffHeaderBytes = 8;
constexpr size_t EntryBytes = 12;

// The TIFF structure after the identifier, with the byte order its header names. Every read
// is checked by the caller against size first.
struct Tiff {
    const uint8_t* bytes;
    size_t size;
    bool bigEndian;

    uint16_t U16(size_t at) const {
        return bigEndian ? static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1])
                         : static_cast<uint16_t>(bytes[at + 1] << 8 | bytes[at]);
    }
    uint32_t U32(size_t at) const {
        uint32_t hi = U16(bigEndian ? at : at + 2);
        uint32_t lo = U16(bigEndian ? at + 2 : at);
        return hi << 16 | lo;
    }
};

}  // namespace

bool IsExifBlock(const uint8_t* block, size_t size) {
    return size >= sizeof(ExifId) && std::memcmp(block, ExifId, sizeof(ExifId)) == 0;
}

int32_t ExifOrientation(const uint8_t* block, size_t size) {
    if (block == nullptr || !IsExifBlock(block, size) || size - sizeof(ExifId) < TiffHeaderBytes) {
        return OrientationAsStored;
    }
    Tiff tiff{block + sizeof(ExifId), size - sizeof(ExifId), false};
    if (tiff.bytes[0] == 'M' && tiff.bytes[1] == 'M') {
        tiff.bigEndian = true;
    } else if (tiff.bytes[0] != 'I' || tiff.bytes[1] != 'I') {
        return OrientationAsStored;
    }
    if (tiff.U16(2) != 42) {
        return OrientationAsStored;
    }
    // Subtractions only, so that no offset from the file can overflow a sum.
    const size_t ifd = tiff.U32(4);
    if (ifd > tiff.size || tiff.size - ifd < 2) {
        return OrientationAsStored;
    }
    const size_t entries = tiff.U16(ifd);
    if (entries > (tiff.size - ifd - 2) / EntryBytes) {
        return OrientationAsStored;
    }
    for (size_t i = 0; i < entries; ++i) {
        const size_t at = ifd + 2 + i * EntryBytes;
        if (tiff.U16(at) != OrientationTag) {
            continue;
        }
        const uint16_t value = tiff.U16(at + 8);  // a single SHORT sits first in the value field
        if (tiff.U16(at + 2) != ShortType || tiff.U32(at + 4) != 1 || value < 1 || value > 8) {
            return OrientationAsStored;
        }
        return value;
    }
    return OrientationAsStored;
}
