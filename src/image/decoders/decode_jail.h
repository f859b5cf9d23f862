#pragma once
// What a decoding child may still do once it has its file: read it, use memory it maps, write
// to standard error, make threads and exit. Everything else the system offers is refused.

#include <cstdint>

// Closes every descriptor but the given ones (at most a few), lowers the child's limits to a
// decode's budget and installs the system-call filter. False when the filter could not be
// installed; the limits then still hold.
bool LockDownDecodeChild(const int* keptFds, int keptCount);

// Lowers the child's memory to what decoding a picture of this many pixels (every part that is
// decoded) needs, beside buffers of fileBytes; does nothing outside a decoding child.
void LimitDecodeMemory(uint64_t pixels, uint64_t fileBytes);
