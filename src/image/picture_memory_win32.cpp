#include "image/picture_memory.h"

#include <sys/stat.h>
#include <cstdlib>

void* AllocatePictureMemory(size_t bytes) {
    return std::malloc(bytes);
}

uint64_t StreamFileBytes(FILE* stream) {
    struct _stat64 info;
    if (_fstat64(_fileno(stream), &info) != 0 || (info.st_mode & _S_IFREG) == 0 ||
        info.st_size < 0) {
        return 0;
    }
    return static_cast<uint64_t>(info.st_size);
}
