#pragma once
// Opens a catalogue entry for decoding. Only regular files are read: a pipe or device that
// happens to carry a picture's name must neither block the show nor be consumed by it.

#include <cstdio>

// A binary stream of the file, or null when it is missing, unreadable or not a regular file.
FILE* OpenPictureFile(const char* path);
