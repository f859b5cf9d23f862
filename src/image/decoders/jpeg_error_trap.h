#pragma once
// The library's error manager joined to the jump point of the operation driving the library.
// Library errors come back through longjmp, so the functions that set the jump point keep
// every pointer they must free in storage that survives the jump and own no C++ objects.

#include <csetjmp>
#include <cstdint>
#include "image/decoders/jpeg_library.h"
#include "image/decoders/picture_limits.h"

struct JpegErrorTrap {
    jpeg_error_mgr pub;
    jmp_buf jumpBuffer;
};

// Installed as error_exit: no message, no destruction; the jump point does the cleanup.
[[noreturn]] void TrapErrorExit(j_common_ptr cinfo);

// jpeg_std_error with TrapErrorExit in place of the default error_exit.
jpeg_error_mgr* InitErrorTrap(JpegErrorTrap* trap);

// Budgets that keep a hostile file from taking the machine or the show with it.
constexpr long JpegLibraryMemoryLimit = 512L * 1024 * 1024;  // the library's own buffers
constexpr int MaxProgressiveScans = 256;
// Blocks the decoder's scans may walk: so many per byte of the file, plus an allowance that
// lets a short file declaring a large picture show what it holds. Real photos stay within the
// allowance alone (the coefficient buffers hold at most 4 million blocks, scanned ten times or
// so); bytes that hold no blocks buy little. Arithmetic-coded files get a smaller allowance.
constexpr uint64_t BlockVisitsPerByte = 100;
constexpr uint64_t BlockVisitsAllowance = 48u * 1000 * 1000;
constexpr uint64_t ArithmeticBlockCost = 256;
// Pictures whose blocks, as coefficients, come above the floor and exceed so many times the
// file's bytes are refused before decoding (twice what one bit per block allows).
constexpr uint64_t CoefficientFloorBytes = 32u * 1024 * 1024;
constexpr uint64_t CoefficientBytesPerFileByte = 2048;
// Reading is given up (the file taken as ending there) after this many bytes hunted through
// for a marker, or read without the decoder yielding a scan or a row.
constexpr unsigned int MarkerHuntBytesLimit = 1u << 20;
constexpr uint64_t BytesWithoutYieldLimit = 32u << 20;
