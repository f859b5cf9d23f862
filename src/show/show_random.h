#pragma once
// The show's own 15-bit pseudo-random generator: it orders the shuffle and the scattered places.

#include <cstdint>

class ShowRandom {
  public:
    void Seed(uint32_t value) { state = value; }
    // Steps the state and returns 0 to 32767.
    int32_t Next() {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7FFFu);
    }

    uint32_t state = 1;
};

extern ShowRandom g_showRandom;
