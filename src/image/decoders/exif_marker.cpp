#include "image/decoders/exif_marker.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t ExifIdBytes = 6;

// Marker bytes through the source manager, as the library's own marker readers take them.
// The decoder's sources never suspend; false only passes a suspension on.
bool ReadBytes(j_decompress_ptr cinfo, uint8_t* out, size_t count) {
    jpeg_source_mgr* src = cinfo->src;
    while (count > 0) {
        if (src->bytes_in_buffer == 0 && !(*src->fill_input_buffer)(cinfo)) {
            return false;
        }
        const size_t chunk = std::min(count, src->bytes_in_buffer);
        std::memcpy(out, src->next_input_byte, chunk);
        src->next_input_byte += chunk;
        src->bytes_in_buffer -= chunk;
        out += chunk;
        count -= chunk;
    }
    return true;
}

boolean ReadApp1(j_decompress_ptr cinfo) {
    ExifWatch* watch = static_cast<ExifWatch*>(cinfo->client_data);
    uint8_t id[ExifIdBytes];
    if (!ReadBytes(cinfo, id, 2)) {
        return FALSE;
    }
    const size_t length = static_cast<size_t>(id[0]) << 8 | id[1];
    size_t left = length > 2 ? length - 2 : 0;
    if (!watch->found && left >= ExifIdBytes) {
        if (!ReadBytes(cinfo, id, ExifIdBytes)) {
            return FALSE;
        }
        left -= ExifIdBytes;
        if (IsExifBlock(id, ExifIdBytes)) {
            uint8_t* block = static_cast<uint8_t*>((*cinfo->mem->alloc_small)(
                reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, ExifIdBytes + left));
            std::memcpy(block, id, ExifIdBytes);
            if (!ReadBytes(cinfo, block + ExifIdBytes, left)) {
                return FALSE;
            }
            watch->orientation = ExifOrientation(block, ExifIdBytes + left);
            watch->found = true;
            left = 0;
        }
    }
    if (left > 0) {
        (*cinfo->src->skip_input_data)(cinfo, static_cast<long>(left));
    }
    return TRUE;
}

}  // namespace

void WatchExifOrientation(jpeg_decompress_struct* cinfo, ExifWatch* watch) {
    cinfo->client_data = watch;
    jpeg_set_marker_processor(cinfo, JPEG_APP0 + 1, ReadApp1);
}
