#pragma once
// The JPEG library's public interface plus the internal one that the colour quantizer needs.
// jpeglib.h wants FILE and size_t declared first; jpegint.h has no C++ guard of its own.

#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
extern "C" {
#include <jpegint.h>
}
