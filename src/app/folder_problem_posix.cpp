#include "app/folder_problem.h"

#include <dirent.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

void DescribeNoPictures(const char* folder, int32_t subdirs, char* line, size_t lineSize,
                        const char** notice) {
    struct stat info;
    if (!*folder) {
        std::snprintf(line, lineSize, "fotovane: no picture folder is set");
        *notice = "No picture folder";
        return;
    }
    const char* what = nullptr;
    int error = 0;
    if (stat(folder, &info) != 0) {
        error = errno;
        bool missing = error == ENOENT || error == ENOTDIR;
        what = missing ? "no such folder" : nullptr;
        *notice = missing ? "Picture folder not found" : "Picture folder cannot be read";
    } else if (!S_ISDIR(info.st_mode)) {
        what = "not a folder";
        *notice = "Picture folder not found";
    } else if (DIR* dir = opendir(folder)) {
        closedir(dir);
        what = subdirs ? "holds no JPEG pictures, nor do its subfolders" : "holds no JPEG pictures";
        *notice = "No pictures found";
    } else {
        error = errno;
        *notice = "Picture folder cannot be read";
    }
    if (what) {
        std::snprintf(line, lineSize, "fotovane: %s: %s", folder, what);
    } else {
        std::snprintf(line, lineSize, "fotovane: %s: cannot be read (%s)", folder,
                      std::strerror(error));
    }
}
