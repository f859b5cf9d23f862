#pragma once
// The diagnostics hook. Texts and messages go here and nowhere else: the saver never shows
// or logs an error, but call sites keep saying what happened.

#include <cstdint>
#include "base/platform_types.h"

inline void Trace(const char* /*text*/) {}
inline void Trace(WindowHandle /*window*/, uint32_t /*message*/, uintptr_t /*wParam*/,
                  intptr_t /*lParam*/) {}
