#include "image/picture_memory.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <cstdlib>

namespace {
constexpr size_t HugePageBytes = size_t{2} << 20;
constexpr size_t HugePageFloor = size_t{4} << 20;
constexpr size_t SmallPageBytes = 4096;
}  // namespace

void* AllocatePictureMemory(size_t bytes) {
    if (bytes < HugePageFloor) {
        return std::malloc(bytes);
    }
    // Aligned to a huge page, so that the whole block can be backed by them.
    void* block = nullptr;
    if (posix_memalign(&block, HugePageBytes, bytes) != 0) {
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    // Only advice: where the kernel has no huge pages to give, small ones serve as before.
    madvise(block, (bytes + SmallPageBytes - 1) & ~(SmallPageBytes - 1), MADV_HUGEPAGE);
#endif
    return block;
}

uint64_t StreamFileBytes(FILE* stream) {
    struct stat info;
    if (fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        return 0;
    }
    return static_cast<uint64_t>(info.st_size);
}
