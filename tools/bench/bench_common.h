#pragma once
// What both benchmarks share: their command line, the medians they print and the plain library
// decode they are measured against.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Reads "[--reps N] picture.jpg..."; returns the index of the first picture, or 0 after
// printing the usage line when no picture is given.
int ReadBenchArguments(int argc, char** argv, const char* program, int* reps);

double Median(std::vector<double> values);

// The file name without its folder, for the tables.
std::string PictureName(const std::string& path);

// The library alone, default output (RGB), no fitting, at the reduction Decode picks for the
// picture as shown: into a whole picture like Decode, or into one reused row, the least any
// program does.
void PlainDecode(FILE* stream, int32_t boxWidth, int32_t boxHeight, bool keepPicture);

// The reduction Decode picks for the picture in the file as shown in the box; 0 when the file
// has no readable header.
int32_t BenchReduction(const char* path, int32_t boxWidth, int32_t boxHeight);
