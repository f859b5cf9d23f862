#pragma once
// Decoding a picture file by what its bytes are, not by its name.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "image/dib_image.h"

// Which files a show takes and decodes: JPEG alone, or every supported format.
constexpr int32_t FormatsJpeg = 0;
constexpr int32_t FormatsAll = 1;

enum PictureKind : int32_t {
    PictureJpeg = 0,
    PicturePng = 1,
    PictureWebp = 2,
    PictureHeif = 3,
};

// The decoder for a file that starts with these bytes; JPEG for anything unrecognised.
PictureKind SniffPicture(const uint8_t* head, size_t length);
const char* PictureKindName(PictureKind kind);

// Decode for any format: the stream (seekable, at its start) into image, reduced towards the
// box as the JPEG decoder reduces. With FormatsJpeg only the JPEG decoder is tried. Afterwards
// image is loaded, and failed when the picture cannot be shown. Returns the decoder that ran.
PictureKind DecodePicture(DibImage* image, FILE* stream, int32_t targetWidth, int32_t targetHeight,
                          SizeRule rule, int32_t formats);

// The library decoder for kind (PNG, WebP or HEIF), here in this process; false when the
// picture is refused, broken, ends early, or the stop check asked to end.
bool DecodeWithLibrary(PictureKind kind, DibImage* image, FILE* stream, int32_t targetWidth,
                       int32_t targetHeight, SizeRule rule);

// The decoders beside the JPEG one, each into a released image, failing as above.
bool DecodePng(DibImage* image, FILE* stream, int32_t targetWidth, int32_t targetHeight,
               SizeRule rule);
bool DecodeWebp(DibImage* image, FILE* stream, int32_t targetWidth, int32_t targetHeight,
                SizeRule rule);
bool DecodeHeif(DibImage* image, FILE* stream, int32_t targetWidth, int32_t targetHeight,
                SizeRule rule);

// The size of a seekable stream, which is left at its start; -1 when it cannot be told.
int64_t StreamBytes(FILE* stream);
