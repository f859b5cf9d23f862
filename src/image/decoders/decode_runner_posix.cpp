#include "image/decoders/decode_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include "base/trace.h"
#include "image/decoders/decode_jail.h"
#include "image/decoders/picture_limits.h"
#include "image/stop_check.h"

namespace {

// The child's picture travels back through one shared block, made once and kept, like the
// picture memory: a header, then the rows as the show's picture holds them.
struct ResultHeader {
    uint64_t decode;  // which decode wrote it; written last
    int32_t width;
    int32_t height;
    int32_t stride;
};
constexpr size_t ResultRowsOffset = 4096;
// Room for the picture turned a quarter, whose rows pad differently.
constexpr size_t ResultRowsBytes = PixelMemoryLimit + (size_t{1} << 20);
constexpr size_t SharedBytes = ResultRowsOffset + ResultRowsBytes;
// A decode that sleeps rather than works is ended too; no photo takes this long.
constexpr auto DecodeWallLimit = std::chrono::seconds(60);

uint8_t* g_shared = nullptr;
uint64_t g_decodes = 0;

bool MapShared() {
    if (g_shared == nullptr) {
        void* block =
            mmap(nullptr, SharedBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        g_shared = block == MAP_FAILED ? nullptr : static_cast<uint8_t*>(block);
    }
    return g_shared != nullptr;
}

ResultHeader* Header() {
    return reinterpret_cast<ResultHeader*>(g_shared);
}

[[noreturn]] void DecodeInChild(PictureKind kind, FILE* stream, int reportFd, int32_t targetWidth,
                                int32_t targetHeight, SizeRule rule) {
    // The show's own stop check talks to its window system, which the child must not touch.
    SetStopCheck(nullptr);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    const int kept[] = {fileno(stream), STDERR_FILENO, reportFd};
    LockDownDecodeChild(kept, 3);
    // The picture's rows go straight into the shared block; the child never frees it.
    DibImage child;
    child.pixelBlock = g_shared + ResultRowsOffset;
    child.pixelBlockBytes = ResultRowsBytes;
    const bool decoded = DecodeWithLibrary(kind, &child, stream, targetWidth, targetHeight, rule);
    if (!decoded || child.pixels != g_shared + ResultRowsOffset) {
        _exit(1);
    }
    ResultHeader* header = Header();
    header->width = child.width;
    header->height = child.height;
    header->stride = child.stride;
    header->decode = g_decodes;
    _exit(0);
}

// Waits for the child to end, answering the stop check meanwhile; false when it was ended.
bool AwaitChild(pid_t child, int reportFd) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        pollfd report = {reportFd, POLLIN, 0};
        // The child's end closes the report pipe; nothing is ever written to it.
        const int ready = poll(&report, 1, StopPollMs);
        if (ready > 0) {
            return true;
        }
        if ((ready < 0 && errno != EINTR) || ShouldStop() ||
            std::chrono::steady_clock::now() - start > DecodeWallLimit) {
            kill(child, SIGKILL);
            return false;
        }
    }
}

bool ChildSucceeded(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    if (WIFSIGNALED(status)) {
        Trace("picture: the decoder died");
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool TakeResult(DibImage* image) {
    const ResultHeader header = *Header();
    if (header.decode != g_decodes || header.width <= 0 || header.height <= 0 ||
        header.stride != DibStride(header.width) ||
        static_cast<uint64_t>(header.stride) * static_cast<uint64_t>(header.height) >
            ResultRowsBytes) {
        return false;
    }
    const size_t bytes = static_cast<size_t>(header.stride) * static_cast<size_t>(header.height);
    if (!image->TakePixels(bytes)) {
        return false;
    }
    std::memcpy(image->pixels, g_shared + ResultRowsOffset, bytes);
    image->width = header.width;
    image->height = header.height;
    image->stride = header.stride;
    image->components = 3;
    return true;
}

}  // namespace

bool RunLibraryDecoder(PictureKind kind, DibImage* image, FILE* stream, int32_t targetWidth,
                       int32_t targetHeight, SizeRule rule) {
    image->Release();
    image->loaded = 1;
    int report[2];
    if (!MapShared() || pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    ++g_decodes;
    Header()->decode = 0;
    // Whatever the parent buffered for the stream must not be written twice.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        DecodeInChild(kind, stream, report[1], targetWidth, targetHeight, rule);
    }
    close(report[1]);
    bool decoded = false;
    if (child > 0) {
        decoded = AwaitChild(child, report[0]);
        decoded = ChildSucceeded(child) && decoded && TakeResult(image);
    } else {
        Trace("picture: no decoder process");
    }
    close(report[0]);
    return decoded;
}
