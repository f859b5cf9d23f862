#pragma once
// Why a show found no pictures, told twice: a line for stderr that names the folder, and a
// short notice for the screen that does not (a locked screen must not show file names).

#include <cstddef>
#include <cstdint>

// Fills `line` (without a newline) and points `notice` at a fixed text.
void DescribeNoPictures(const char* folder, int32_t subdirs, char* line, size_t lineSize,
                        const char** notice);
