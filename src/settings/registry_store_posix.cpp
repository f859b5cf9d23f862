// The current user's store as one file, $XDG_CONFIG_HOME/fotovane/registry.reg (default
// ~/.config, the home folder from the password database when HOME is unset). Reading never
// writes: a key that does not exist yet comes into being with its first value. The file is
// parsed once for as long as it stays the same file. Every change is written through a
// temporary file and one rename, under an advisory lock on registry.lock, after reading the
// file again under that lock: readers see the old or the new store whole, and changes gathered
// between StoreBeginChanges and StoreCommitChanges land together or not at all. Only regular
// files are opened, without waiting, and a store past MaxStoreBytes counts as damaged. A
// damaged store reads as empty; the next change keeps it aside as registry.reg.damaged (then
// .damaged.2 and on, the oldest replaced past KeptDamaged) and writes a fresh one. Failures to
// read or write are told on stderr.

#include "settings/registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "settings/registry_text.h"

namespace {

// Ours is well under a kilobyte; anything near this was not written by this program.
constexpr off_t MaxStoreBytes = 1 << 20;
// A save holds the lock for milliseconds; a holder that keeps it longer is not one of ours.
constexpr int LockWaitMs = 3000;
constexpr int LockPollMs = 5;
// Damaged stores kept aside at most: enough to look back on, and a folder full of them costs a
// save no more than this many lookups.
constexpr int KeptDamaged = 10;

struct OpenKey {
    std::string path;
    std::string keyClass;
};

enum ChangeKind { ChangeSetValue, ChangeDeleteKey };

struct Change {
    ChangeKind kind;
    std::string path;
    std::string keyClass;
    RegistryValue value;
};

enum FileState { FileAbsent, FileLoaded, FileDamaged, FileUnusable };

struct StoreFile {
    FileState state = FileAbsent;
    RegistryText store;
    std::string problem;  // why it is damaged or unusable
};

// The last store read, and what the file looked like then.
struct Snapshot {
    bool valid = false;
    std::string path;
    bool exists = false;
    struct stat identity = {};
    StoreFile file;
    std::vector<std::string> told;  // what StoreTellIgnored said about this reading
};

Snapshot g_snapshot;
bool g_gathering = false;
std::vector<Change> g_changes;

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return "";
}

// Empty when there is no home folder to keep settings in.
std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        return std::string(xdg) + "/fotovane";
    }
    const std::string home = HomeFolder();
    return home.empty() ? home : home + "/.config/fotovane";
}

std::string Reason(int error) {
    return std::strerror(error);
}

void Tell(const std::string& text) {
    std::fprintf(stderr, "fotovane: %s\n", text.c_str());
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Opens an existing regular file without waiting on it; -1 with errno set otherwise (EINVAL
// for anything that is not a regular file).
int OpenRegular(const std::string& path, int flags, struct stat* info) {
    struct stat before;
    if (stat(path.c_str(), &before) != 0) {
        return -1;
    }
    // Looked at before opening: opening a device or FIFO can block or have effects.
    if (!S_ISREG(before.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    const int fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

std::string Unusable(const std::string& path, int error) {
    return path + (error == EINVAL ? ": not a regular file" : ": " + Reason(error));
}

StoreFile ReadFile(const std::string& path) {
    StoreFile file;
    struct stat info;
    const int fd = OpenRegular(path, O_RDONLY, &info);
    if (fd < 0) {
        if (errno != ENOENT) {
            file.state = FileUnusable;
            file.problem = Unusable(path, errno);
        }
        return file;
    }
    std::string text;
    bool tooLarge = info.st_size > MaxStoreBytes;
    bool failed = false;
    if (!tooLarge) {
        // The size may change under us: never read past the limit whatever it said.
        text.resize(static_cast<size_t>(info.st_size) + 1);
        size_t done = 0;
        for (;;) {
            if (done == text.size()) {
                if (text.size() > static_cast<size_t>(MaxStoreBytes)) {
                    tooLarge = true;
                    break;
                }
                text.resize(std::min(text.size() * 2, static_cast<size_t>(MaxStoreBytes) + 1));
            }
            const ssize_t n = read(fd, &text[done], text.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                failed = n < 0;
                break;
            }
            done += static_cast<size_t>(n);
        }
        text.resize(done);
    }
    const int readError = errno;
    close(fd);
    if (failed) {
        file.state = FileUnusable;
        file.problem = Unusable(path, readError);
    } else if (tooLarge) {
        file.state = FileDamaged;
        file.problem = path + ": larger than a settings file can be";
    } else if (!ParseRegistryText(text, &file.store)) {
        file.state = FileDamaged;
        file.problem = path + ": not a settings file this program can read";
    } else {
        file.state = FileLoaded;
    }
    return file;
}

// The store as the file holds it now, read again only when the file changed.
StoreFile& CurrentStore() {
    const std::string folder = ConfigFolder();
    const std::string path = folder.empty() ? folder : folder + "/registry.reg";
    struct stat identity = {};
    const bool exists = !path.empty() && stat(path.c_str(), &identity) == 0;
    Snapshot& snap = g_snapshot;
    if (snap.valid && snap.path == path && snap.exists == exists &&
        (!exists || SameFile(snap.identity, identity))) {
        return snap.file;
    }
    snap.valid = true;
    snap.path = path;
    snap.exists = exists;
    snap.identity = identity;
    snap.file = path.empty() ? StoreFile() : ReadFile(path);
    snap.told.clear();
    if (snap.file.state == FileDamaged || snap.file.state == FileUnusable) {
        Tell(snap.file.problem + "; the default settings are used");
    }
    return snap.file;
}

bool MakeFolders(const std::string& folder) {
    for (size_t sep = folder.find('/', 1);; sep = folder.find('/', sep + 1)) {
        const std::string part = folder.substr(0, sep);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (sep == std::string::npos) {
            return true;
        }
    }
}

// Holds the exclusive advisory lock for as long as it lives.
class StoreLock {
  public:
    // Fails with errno set; ETIMEDOUT when another process keeps the lock.
    bool Take(const std::string& path) {
        struct stat info;
        fd_ = OpenRegular(path, O_RDWR, &info);
        if (fd_ < 0 && errno == ENOENT) {
            fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                       0600);
            if (fd_ < 0 && errno == EEXIST) {
                fd_ = OpenRegular(path, O_RDWR, &info);
            }
        }
        if (fd_ < 0) {
            return false;
        }
        for (int waited = 0; flock(fd_, LOCK_EX | LOCK_NB) != 0; waited += LockPollMs) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                return false;
            }
            if (waited >= LockWaitMs) {
                errno = ETIMEDOUT;
                return false;
            }
            const timespec pause = {0, LockPollMs * 1000000L};
            nanosleep(&pause, nullptr);
        }
        return true;
    }
    StoreLock() = default;
    ~StoreLock() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

  private:
    int fd_ = -1;
};

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string DamagedName(const std::string& path, int n) {
    return path + ".damaged" + (n == 1 ? "" : "." + std::to_string(n));
}

bool Earlier(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The first free name for a damaged file, else the one kept aside longest ago (keeping it
// changed its status time); empty when none of them can be replaced.
std::string AsideName(const std::string& path) {
    std::string oldest;
    timespec oldestTime = {};
    for (int n = 1; n <= KeptDamaged; ++n) {
        const std::string name = DamagedName(path, n);
        struct stat info;
        if (lstat(name.c_str(), &info) != 0) {
            if (errno == ENOENT) {
                return name;
            }
            continue;
        }
        if (!S_ISDIR(info.st_mode) && (oldest.empty() || Earlier(info.st_ctim, oldestTime))) {
            oldest = name;
            oldestTime = info.st_ctim;
        }
    }
    return oldest;
}

// Keeps the damaged file under AsideName. The old name stays until the new store replaces it,
// so there is no moment without a store; a name that is taken is replaced in one rename.
bool KeepAside(const std::string& path, std::string* aside, bool* linked) {
    *linked = false;
    *aside = AsideName(path);
    if (aside->empty()) {
        errno = EEXIST;
        return false;
    }
    struct stat info;
    const bool taken = lstat(aside->c_str(), &info) == 0;
    const std::string through = taken ? path + ".aside.tmp." + std::to_string(getpid()) : *aside;
    if (taken) {
        unlink(through.c_str());
    }
    if (link(path.c_str(), through.c_str()) == 0) {
        if (!taken || rename(through.c_str(), aside->c_str()) == 0) {
            *linked = true;
            return true;
        }
        const int error = errno;
        unlink(through.c_str());
        errno = error;
        return false;
    }
    // A file system without hard links: move it; the rename that follows fills the gap.
    return rename(path.c_str(), aside->c_str()) == 0;
}

// Writes the store to the file through a temporary file; errno says why when it fails.
bool WriteFile(const std::string& path, const RegistryText& store) {
    const std::string temp = path + ".tmp." + std::to_string(getpid());
    unlink(temp.c_str());
    const int fd =
        open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool written = WriteAll(fd, FormatRegistryText(store)) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temp.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temp.c_str());
        errno = error;
    }
    return written;
}

bool ApplyChange(const Change& change, RegistryText* store, int32_t* rc) {
    if (change.kind == ChangeDeleteKey) {
        if (!store->FindKey(change.path)) {
            *rc = StoreNotFound;
            return false;
        }
        if (store->HasSubkeys(change.path)) {
            *rc = StoreDenied;
            return false;
        }
        store->RemoveKey(change.path);
        return true;
    }
    RegistryKey* key = store->FindKey(change.path);
    if (!key) {
        key = &store->AddKey(change.path, change.keyClass);
    }
    RegistryValue* value = FindValue(*key, change.value.name);
    if (value) {
        *value = change.value;
    } else {
        key->values.push_back(change.value);
    }
    return true;
}

// Reads the file again under the lock, applies the changes and writes them in one rename.
int32_t Commit(const std::vector<Change>& changes) {
    if (changes.empty()) {
        return StoreOk;
    }
    bool adds = false;
    for (const Change& change : changes) {
        adds = adds || change.kind == ChangeSetValue;
    }
    const std::string folder = ConfigFolder();
    if (folder.empty()) {
        Tell("no home folder to keep settings in; nothing saved");
        return StoreDenied;
    }
    const std::string path = folder + "/registry.reg";
    const std::string lockPath = folder + "/registry.lock";
    if (adds && !MakeFolders(folder)) {
        Tell("cannot save settings: " + folder + ": " + Reason(errno));
        return StoreDenied;
    }
    StoreLock lock;
    if (!lock.Take(lockPath)) {
        if (!adds && (errno == ENOENT || errno == ENOTDIR)) {
            return StoreNotFound;  // no store at all: nothing to delete
        }
        Tell("cannot save settings: " + (errno == ETIMEDOUT ? lockPath + ": held by another process"
                                                            : Unusable(lockPath, errno)));
        return StoreDenied;
    }
    StoreFile file = ReadFile(path);
    if (file.state == FileUnusable) {
        Tell("cannot save settings: " + file.problem);
        return StoreDenied;
    }
    int32_t rc = StoreOk;
    bool modified = false;
    for (const Change& change : changes) {
        modified = ApplyChange(change, &file.store, &rc) || modified;
    }
    if (!modified) {
        return rc;
    }
    std::string aside;
    bool linked = false;
    std::string notKept;
    // Saving goes on without it: it cannot be read anyway, and the user asked for new settings.
    if (file.state == FileDamaged && !KeepAside(path, &aside, &linked)) {
        notKept = Reason(errno);
        aside.clear();
    }
    g_snapshot.valid = false;
    if (!WriteFile(path, file.store)) {
        const int error = errno;
        if (linked) {
            unlink(aside.c_str());  // the damaged file is still in its place
        }
        Tell("cannot save settings: " + path + ": " + Reason(error));
        return StoreDenied;
    }
    if (!aside.empty()) {
        Tell(file.problem + "; kept it as " + aside + " and wrote new settings");
    } else if (!notKept.empty()) {
        Tell(file.problem + "; it cannot be kept aside (" + notKept +
             "), so new settings replaced it");
    }
    return rc;
}

int32_t MakeChange(Change change) {
    if (g_gathering) {
        g_changes.push_back(std::move(change));
        return StoreOk;
    }
    return Commit({change});
}

OpenKey* ToKey(StoreKey key) {
    return static_cast<OpenKey*>(key);
}

}  // namespace

int32_t StoreCreateKey(const char* path, const char* keyClass, StoreKey* key) {
    *key = new OpenKey{path, keyClass ? keyClass : ""};
    return StoreOk;
}

int32_t StoreOpenKey(const char* path, StoreKey* key) {
    *key = nullptr;
    StoreFile& file = CurrentStore();
    if (file.state == FileDamaged || file.state == FileUnusable) {
        return StoreBadData;
    }
    if (!file.store.FindKey(path)) {
        return StoreNotFound;
    }
    *key = new OpenKey{path, ""};
    return StoreOk;
}

int32_t StoreQueryValue(StoreKey key, const char* name, uint32_t* type, uint8_t* data,
                        uint32_t* size) {
    StoreFile& file = CurrentStore();
    if (file.state == FileDamaged || file.state == FileUnusable) {
        return StoreBadData;
    }
    RegistryKey* found = file.store.FindKey(ToKey(key)->path);
    RegistryValue* value = found ? FindValue(*found, name ? name : "") : nullptr;
    if (!value) {
        return StoreNotFound;
    }
    *type = value->type;
    const auto needed = static_cast<uint32_t>(value->data.size());
    const uint32_t room = *size;
    *size = needed;
    if (!data) {
        return StoreOk;
    }
    if (needed > room) {
        return StoreMoreData;
    }
    if (needed > 0) {
        std::memcpy(data, value->data.data(), needed);
    }
    return StoreOk;
}

int32_t StoreSetValue(StoreKey key, const char* name, uint32_t type, const uint8_t* data,
                      uint32_t size) {
    Change change{ChangeSetValue, ToKey(key)->path, ToKey(key)->keyClass, {}};
    change.value.name = name ? name : "";
    change.value.type = type;
    change.value.data.assign(data, data + size);
    return MakeChange(std::move(change));
}

void StoreCloseKey(StoreKey key) {
    delete ToKey(key);
}

int32_t StoreDeleteKey(const char* path) {
    return MakeChange(Change{ChangeDeleteKey, path, "", {}});
}

int32_t StoreQueryKeyClass(const char* path, char* keyClass, uint32_t size) {
    StoreFile& file = CurrentStore();
    if (file.state == FileDamaged || file.state == FileUnusable) {
        return StoreBadData;
    }
    RegistryKey* found = file.store.FindKey(path);
    if (!found) {
        return StoreNotFound;
    }
    if (found->keyClass.size() + 1 > size) {
        return StoreMoreData;
    }
    std::memcpy(keyClass, found->keyClass.c_str(), found->keyClass.size() + 1);
    return StoreOk;
}

void StoreBeginChanges() {
    g_gathering = true;
    g_changes.clear();
}

int32_t StoreCommitChanges() {
    g_gathering = false;
    std::vector<Change> changes;
    changes.swap(g_changes);
    return Commit(changes);
}

void StoreTellIgnored(const char* why) {
    CurrentStore();
    std::vector<std::string>& told = g_snapshot.told;
    if (std::find(told.begin(), told.end(), why) == told.end()) {
        told.emplace_back(why);
        Tell(g_snapshot.path.empty() ? why : g_snapshot.path + ": " + why);
    }
}
