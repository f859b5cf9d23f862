#include "app/xscreensaver_join.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "app/xscreensaver_entry.h"
#include "app/xscreensaver_list.h"

namespace {

constexpr const char* SystemDefaults = "/etc/X11/app-defaults/XScreenSaver";
// Where Debian's XScreenSaver finds hacks by name: an entry there needs no folder.
constexpr const char* HackFolder = "/usr/libexec/xscreensaver/";
// Far beyond any preferences file; a bigger one is not what it claims to be.
constexpr size_t MaxFileBytes = 4 << 20;

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home == '/') {
        return home;
    }
    const passwd* entry = getpwuid(getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

// False with errno set when the file cannot be read; ENOENT when it is not there.
bool ReadText(const std::string& path, std::string* text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = EINVAL;
        return false;
    }
    char block[65536];
    ssize_t n = 0;
    while ((n = read(fd, block, sizeof block)) > 0 && text->size() <= MaxFileBytes) {
        text->append(block, static_cast<size_t>(n));
    }
    int saved = errno;
    close(fd);
    if (n < 0 || text->size() > MaxFileBytes) {
        errno = n < 0 ? saved : EFBIG;
        return false;
    }
    return true;
}

// Replaces the file in one step, so that the daemon never reads half of it.
bool WriteText(const std::string& path, const std::string& text, mode_t mode) {
    std::string temporary = path + ".fotovane-new";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    int saved = errno;
    bool ok = done == text.size() && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    saved = ok ? saved : errno;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
        saved = ok ? errno : saved;
        unlink(temporary.c_str());
        errno = saved;
        return false;
    }
    return true;
}

// The command of the entry: this program by name where the daemon finds it so, else by path.
std::string EntryCommand(const ProgramOptions& options) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string program = "fotovane";
    if (n > 0) {
        self[n] = '\0';
        if (std::strncmp(self, HackFolder, std::strlen(HackFolder)) != 0 ||
            std::strcmp(self + std::strlen(HackFolder), "fotovane") != 0) {
            program = ShellQuoted(self);
        }
    }
    return program + " " + EntryArguments(options);
}

}  // namespace

int AddToXScreenSaver(const ProgramOptions& options) {
    std::string home = HomeFolder();
    if (home.empty()) {
        std::fprintf(stderr, "fotovane: no home folder, so no ~/.xscreensaver to add to\n");
        return 1;
    }
    std::string path = home + "/.xscreensaver";
    // A linked file stays linked: the edit goes to the file it names.
    char target[PATH_MAX];
    if (realpath(path.c_str(), target)) {
        path = target;
    }
    std::string user;
    bool exists = ReadText(path, &user);
    if (!exists && errno != ENOENT) {
        std::fprintf(stderr, "fotovane: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    std::string system;
    if (!ReadText(SystemDefaults, &system) && !exists) {
        std::fprintf(stderr, "fotovane: cannot read %s (%s): is XScreenSaver installed?\n",
                     SystemDefaults, std::strerror(errno));
        return 1;
    }
    if (!exists) {
        user =
            "# XScreenSaver Preferences File\n"
            "# Made by fotovane --add-to-xscreensaver from " +
            std::string(SystemDefaults) + ".\n\n";
    }

    if (options.hasFolder) {
        struct stat folder;
        if (stat(options.folder, &folder) != 0 || !S_ISDIR(folder.st_mode)) {
            // Added all the same: a folder on a drive not mounted now may be there later.
            std::fprintf(stderr, "fotovane: note: %s is not a folder now\n", options.folder);
        }
    }
    std::string command = EntryCommand(options);
    ProgramsListEdit edit = AddToProgramsList(user, system, "Fotovane", command);
    if (!edit.added && !edit.replaced) {
        std::printf("Fotovane is already entry %d of the screen savers in %s; nothing changed.\n",
                    edit.position, path.c_str());
        if (!edit.enabled) {
            std::printf("It is switched off there: tick it in xscreensaver-settings.\n");
        }
        return 0;
    }
    struct stat info;
    mode_t mode = exists && stat(path.c_str(), &info) == 0
                      ? (info.st_mode & 07777) | S_IRUSR | S_IWUSR
                      : 0644;
    if (!WriteText(path, edit.text, mode)) {
        std::fprintf(stderr, "fotovane: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    if (edit.replaced) {
        std::printf("Entry %d of the screen savers in %s now runs\n  %s\ninstead of\n  %s\n",
                    edit.position, path.c_str(), command.c_str(), edit.previous.c_str());
    } else if (exists) {
        std::printf("Added Fotovane to the screen savers in %s, as entry %d:\n  %s\n", path.c_str(),
                    edit.position, command.c_str());
    } else {
        std::printf("Made %s from %s and added Fotovane, as entry %d:\n  %s\n", path.c_str(),
                    SystemDefaults, edit.position, command.c_str());
    }
    // The daemon reads the file again by itself when it changes.
    std::printf(
        "A running XScreenSaver picks it up by itself. Try it: xscreensaver-command "
        "-select %d\nIts Settings page in xscreensaver-settings changes the folder and the "
        "show.\n",
        edit.position);
    if (edit.replaced && !edit.enabled) {
        std::printf("It is switched off there: tick it in xscreensaver-settings.\n");
    }
    return 0;
}
