#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>

#include "show/picture_file.h"
#include "show/test_folder.h"

namespace {

// Only regular files open: anything else named like a picture must not block or be read.
TEST(PictureFile, OpensRegularFilesOnly) {
    TestFolder folder;
    const std::string picture = folder.AddFile("x.jpg", "JPEG");
    const std::string unreadable = folder.AddFile("locked.jpg", "JPEG");
    chmod(unreadable.c_str(), 0);
    const std::string fifo = folder.PathOf("fifo.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = folder.PathOf("socket.jpg");
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    bool haveSocket = socketPath.size() < sizeof address.sun_path &&
                      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const std::string folderNamedLikeAPicture = folder.AddFolder("dir.jpg");

    FILE* stream = OpenPictureFile(picture.c_str());
    ASSERT_NE(stream, nullptr);
    char bytes[8] = {};
    EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, stream), 4u);
    EXPECT_STREQ(bytes, "JPEG");
    std::fclose(stream);

    struct Case {
        std::string path;
        bool skip;
    };
    const Case refused[] = {
        {fifo, false},
        {socketPath, !haveSocket},
        {folderNamedLikeAPicture, false},
        {"/dev/zero", false},
        {folder.PathOf("gone.jpg"), false},
        {"", false},
        // Root reads anything, so the unreadable case only holds for other users.
        {unreadable, geteuid() == 0},
    };
    for (const Case& c : refused) {
        if (c.skip) {
            continue;
        }
        FILE* opened = OpenPictureFile(c.path.c_str());
        EXPECT_EQ(opened, nullptr) << c.path;
        if (opened) {
            std::fclose(opened);
        }
    }
    close(listener);
}

}  // namespace
