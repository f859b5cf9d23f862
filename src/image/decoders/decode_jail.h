#pragma once
// What the decoding process may still do once it runs: receive pictures' files and answer on
// its one socket, read those files, use memory it maps, write to standard error, make threads
// and exit. Everything else the system offers is refused, and its memory and processor time
// are bounded for each picture.

#include <cstdint>

// Closes every descriptor but standard error and socket, sets the lasting limits and installs
// the system-call filter. False when the filter could not be installed; the limits still hold.
bool LockDownDecoder(int socket);

// Around each picture: processor time for one more decode, and afterwards the memory back to
// the whole budget that LimitDecodeMemory narrowed.
void BeginPictureLimits();
void EndPictureLimits();

// Lowers the memory to what decoding a picture of this many pixels (every part that is
// decoded) needs, beside buffers of fileBytes; does nothing outside the decoding process.
void LimitDecodeMemory(uint64_t pixels, uint64_t fileBytes);
