#include "show/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE* OpenPictureFile(const char* path) {
    // Non-blocking, so that opening a FIFO with no writer returns at once; the check that
    // follows turns it away before anything is read.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) {
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    FILE* stream = fdopen(fd, "rb");
    if (!stream) {
        close(fd);
    }
    return stream;
}
