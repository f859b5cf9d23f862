#include "show/picture_file.h"

FILE* OpenPictureFile(const char* path) {
    return std::fopen(path, "rb");
}
