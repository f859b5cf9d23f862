#pragma once
// Where the picture libraries (PNG, WebP, HEIF) run. They are large and take hostile files, so
// a fault inside one must cost its picture, never the show: on Linux each decode runs in a
// child process with its own limits, watched by the show's stop check; on Windows it runs in
// the process, held by the bounds its decoder checks first.

#include <cstdint>
#include <cstdio>
#include "image/decoders/decode_picture.h"
#include "image/dib_image.h"

// Decodes the stream (seekable, at its start) with kind's library decoder into image, which is
// released first. False when the picture failed: refused, broken, the decoder died or ran out
// of its memory or time, or the stop check asked the show to end.
bool RunLibraryDecoder(PictureKind kind, DibImage* image, FILE* stream, int32_t targetWidth,
                       int32_t targetHeight, SizeRule rule);

// Ends the decoding process, if any, and waits for it: what it holds goes back to the system.
// The next decode starts another.
void EndLibraryDecoder();

// The process that decodes the library formats now, 0 when there is none: for measuring it.
int32_t LibraryDecoderProcess();
