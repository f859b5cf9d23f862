#pragma once
// Budgets that every decoder keeps, so that a hostile file takes neither the machine nor the show.

#include <cstddef>
#include <cstdint>

constexpr size_t PixelMemoryLimit = 128u * 1024 * 1024;  // the decoded picture
// Full-size work buffers where a decoder cannot reduce while it reads.
constexpr size_t WorkMemoryLimit = 512u * 1024 * 1024;
// Longest side any decoder accepts, the JPEG library's own limit.
constexpr uint32_t MaxPictureSide = 65500;

// The libraries' decoders cannot be asked to stop, so the work a file may declare is bounded by
// its own bytes, before anything is allocated for it. Photos carry at most a few dozen pixels
// per byte (a 48 MP phone photo fills megabytes; a screenshot that deflates 200:1 holds about
// 70 pixels per byte), while a file that claims a picture far beyond its bytes costs a moment:
// - pixels: a flat picture of a 4K screen, plus 128 per byte of the file;
// - stored bytes before compression (PNG): the same screen at 4 bytes a pixel, plus 256 per byte
//   of the file, below deflate's 1032:1 but above any real screenshot.
constexpr uint64_t FlatPixelsAllowance = 3840u * 2160u;
constexpr uint64_t PixelsPerFileByte = 128;
constexpr uint64_t StoredBytesPerFileByte = 256;

// Whether a picture (or a tile, or a canvas: every part that is decoded counts) of this many
// pixels may be decoded from a file of fileBytes.
bool DeclaredPixelsFit(uint64_t pixels, uint64_t fileBytes);
// Whether this many stored (inflated) bytes may come from a file of fileBytes.
bool StoredBytesFit(uint64_t storedBytes, uint64_t fileBytes);
