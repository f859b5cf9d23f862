#pragma once
// Memory for whole pictures and the size of the file they come from: the two things about the
// system that the picture pipeline asks for.

#include <cstddef>
#include <cstdint>
#include <cstdio>

// A block of at least `bytes`, to be freed with std::free; null when there is no memory. Blocks
// of several megabytes are backed by huge pages where the system offers them, so that touching
// them the first time costs a few page faults rather than thousands.
void* AllocatePictureMemory(size_t bytes);

// Bytes in the file behind the stream; 0 when that cannot be told.
uint64_t StreamFileBytes(FILE* stream);
