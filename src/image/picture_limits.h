#pragma once
// Budgets that every decoder keeps, so that a hostile file takes neither the machine nor the show.

#include <cstddef>
#include <cstdint>

constexpr size_t PixelMemoryLimit = 128u * 1024 * 1024;  // the decoded picture
// Full-size work buffers where a decoder cannot reduce while it reads.
constexpr size_t WorkMemoryLimit = 512u * 1024 * 1024;
// Longest side any decoder accepts, the JPEG library's own limit.
constexpr uint32_t MaxPictureSide = 65500;
// Decoders that cannot be asked to stop take on no more pixels than so many per byte of the
// file plus an allowance: enough for any real photo and for flat pictures of screen size,
// while a few bytes claiming a huge picture cost at most a moment.
constexpr uint64_t SilentPixelsAllowance = 32u * 1000 * 1000;
constexpr uint64_t SilentPixelsPerByte = 256;
