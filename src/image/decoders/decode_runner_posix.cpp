#include "image/decoders/decode_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
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

// One decoding process serves the show, started at its first picture of these formats and
// started again whenever it is ended: it keeps its heap and its view of the shared block warm
// from picture to picture, so a frame costs it little beyond the decode itself. Any picture
// that fails ends it, and so does every DecodesPerProcess-th: nothing a file leaves behind lasts.

namespace {

// The picture travels back through one shared block, made once and kept, like the picture
// memory: a header, then the rows as the show's picture holds them.
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
constexpr size_t FaultAroundBytes = 65536;  // what the kernel maps around a read fault
constexpr uint32_t DecodesPerProcess = 64;

struct Request {
    uint64_t decode;
    int32_t kind;
    int32_t targetWidth;
    int32_t targetHeight;
    int32_t rule;
};

struct Answer {
    uint64_t decode;
    int32_t decoded;
};

struct Decoder {
    pid_t pid = -1;
    int socket = -1;
    uint32_t decodes = 0;
};

uint8_t* g_shared = nullptr;
uint64_t g_decodes = 0;
Decoder g_decoder;

bool MapShared() {
    if (g_shared == nullptr) {
        // A host that started the saver with children ignored would have them reaped unseen.
        struct sigaction children;
        if (sigaction(SIGCHLD, nullptr, &children) == 0 && children.sa_handler == SIG_IGN) {
            std::signal(SIGCHLD, SIG_DFL);
        }
        void* block =
            mmap(nullptr, SharedBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        g_shared = block == MAP_FAILED ? nullptr : static_cast<uint8_t*>(block);
    }
    return g_shared != nullptr;
}

ResultHeader* Header() {
    return reinterpret_cast<ResultHeader*>(g_shared);
}

// The next request and the file it comes with; -1 when the show has gone.
int ReceiveRequest(int socket, Request* request) {
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    iovec data = {request, sizeof *request};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    while ((got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (got != static_cast<ssize_t>(sizeof *request) || header == nullptr ||
        header->cmsg_type != SCM_RIGHTS || header->cmsg_len != CMSG_LEN(sizeof(int))) {
        return -1;
    }
    int fd;
    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    return fd;
}

bool DecodeRequest(const Request& request, int fd, size_t* rowsBytes) {
    FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr) {
        close(fd);
        return false;
    }
    // The show's stream may have read ahead of where it stands; the file is decoded from its
    // start. (A pipe cannot seek and is read as it comes.)
    std::fseek(stream, 0, SEEK_SET);
    // The picture's rows go straight into the shared block, which the image never frees here.
    DibImage image;
    image.pixelBlock = g_shared + ResultRowsOffset;
    image.pixelBlockBytes = ResultRowsBytes;
    BeginPictureLimits();
    const bool decoded =
        DecodeWithLibrary(static_cast<PictureKind>(request.kind), &image, stream,
                          request.targetWidth, request.targetHeight, request.rule) &&
        image.pixels == g_shared + ResultRowsOffset;
    EndPictureLimits();
    std::fclose(stream);
    if (decoded) {
        ResultHeader* header = Header();
        header->width = image.width;
        header->height = image.height;
        header->stride = image.stride;
        header->decode = request.decode;
        *rowsBytes = static_cast<size_t>(image.stride) * static_cast<size_t>(image.height);
    }
    image.pixelBlock = nullptr;  // not the image's to free
    image.pixels = nullptr;
    return decoded;
}

[[noreturn]] void ServeDecodes(int socket, pid_t show) {
    // The show's own stop check talks to its window system, which this process must not touch.
    SetStopCheck(nullptr);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGPIPE, SIG_DFL);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != show) {
        _exit(0);
    }
    LockDownDecoder(socket);
    size_t warmBytes = 0;
    for (;;) {
        Request request;
        const int fd = ReceiveRequest(socket, &request);
        if (fd < 0) {
            _exit(0);
        }
        // The block's pages come into this process one fault at a time when written, but
        // sixteen at a time when read: reading what the last picture took first costs less.
        volatile uint8_t sink = 0;
        for (size_t at = 0; at < warmBytes; at += FaultAroundBytes) {
            sink = sink + g_shared[ResultRowsOffset + at];
        }
        size_t rowsBytes = 0;
        Answer answer = {request.decode, DecodeRequest(request, fd, &rowsBytes) ? 1 : 0};
        warmBytes = rowsBytes > warmBytes ? rowsBytes : warmBytes;
        if (send(socket, &answer, sizeof answer, MSG_NOSIGNAL) != sizeof answer) {
            _exit(0);
        }
    }
}

void EndDecoder() {
    if (g_decoder.pid > 0) {
        kill(g_decoder.pid, SIGKILL);
        int status = 0;
        while (waitpid(g_decoder.pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
            Trace("picture: the decoder died");
        }
    }
    if (g_decoder.socket >= 0) {
        close(g_decoder.socket);
    }
    g_decoder = Decoder();
}

bool StartDecoder() {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        return false;
    }
    // Whatever the show has buffered for its output must not be written twice.
    std::fflush(nullptr);
    const pid_t show = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        close(pair[0]);
        ServeDecodes(pair[1], show);
    }
    close(pair[1]);
    if (pid < 0) {
        Trace("picture: no decoder process");
        close(pair[0]);
        return false;
    }
    g_decoder.pid = pid;
    g_decoder.socket = pair[0];
    return true;
}

bool SendRequest(const Request& request, int fd) {
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec data = {const_cast<Request*>(&request), sizeof request};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    return sendmsg(g_decoder.socket, &message, MSG_NOSIGNAL) == sizeof request;
}

// Waits for the answer, answering the stop check meanwhile; false when the decoder gave none.
bool AwaitAnswer(Answer* answer) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        pollfd wait = {g_decoder.socket, POLLIN, 0};
        const int ready = poll(&wait, 1, StopPollMs);
        if (ready > 0) {
            return recv(g_decoder.socket, answer, sizeof *answer, 0) == sizeof *answer;
        }
        if ((ready < 0 && errno != EINTR) || ShouldStop() ||
            std::chrono::steady_clock::now() - start > DecodeWallLimit) {
            return false;
        }
    }
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
    if (!MapShared()) {
        return false;
    }
    if (g_decoder.pid > 0 && g_decoder.decodes >= DecodesPerProcess) {
        EndDecoder();
    }
    if (g_decoder.pid <= 0 && !StartDecoder()) {
        return false;
    }
    ++g_decoder.decodes;
    Header()->decode = 0;
    const Request request = {++g_decodes, kind, targetWidth, targetHeight, rule};
    Answer answer = {0, 0};
    const bool decoded = SendRequest(request, fileno(stream)) && AwaitAnswer(&answer) &&
                         answer.decode == g_decodes && answer.decoded != 0 && TakeResult(image);
    if (!decoded) {
        EndDecoder();
    }
    return decoded;
}

int32_t LibraryDecoderProcess() {
    return g_decoder.pid > 0 ? static_cast<int32_t>(g_decoder.pid) : 0;
}

void EndLibraryDecoder() {
    EndDecoder();
}
