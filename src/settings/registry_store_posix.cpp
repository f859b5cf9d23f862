// The current user's store as one file, $XDG_CONFIG_HOME/fotovane/registry.reg (default
// ~/.config). Every change rewrites the file through a temporary file and a rename, under an
// advisory lock on a separate lock file, so that readers see the old or the new store whole
// and two processes never interleave their changes. A file that cannot be read or parsed is
// never rewritten: it reads as holding nothing and every change fails.

#include "settings/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include "settings/registry_text.h"

namespace {

struct OpenKey {
    std::string path;
};

std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/fotovane";
}

std::string StorePath() {
    return ConfigFolder() + "/registry.reg";
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

// Holds the advisory lock for as long as it lives.
class StoreLock {
  public:
    StoreLock(bool exclusive, bool createFolder = false) {
        const std::string path = ConfigFolder() + "/registry.lock";
        if (exclusive) {
            if (createFolder) {
                MakeFolders(ConfigFolder());
            }
            fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        } else {
            fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (fd_ >= 0) {
            while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
            }
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// A missing file is an empty store; an unreadable or damaged one is StoreBadData.
int32_t ReadStore(RegistryText* store) {
    const int fd = open(StorePath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            store->keys.clear();
            return StoreOk;
        }
        return StoreBadData;
    }
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            close(fd);
            return StoreBadData;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return ParseRegistryText(text, store) ? StoreOk : StoreBadData;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

int32_t WriteStore(const RegistryText& store) {
    const std::string path = StorePath();
    const std::string temp = path + ".tmp." + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return StoreDenied;
    }
    const bool written = WriteAll(fd, FormatRegistryText(store)) && fsync(fd) == 0;
    if (close(fd) != 0 || !written || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return StoreDenied;
    }
    return StoreOk;
}

// Runs a change of the store under the exclusive lock; change returns a StoreResult and
// sets *modified when the store must be written back.
template <typename Change>
int32_t ChangeStore(Change change, bool createFolder = false) {
    StoreLock lock(true, createFolder);
    RegistryText store;
    int32_t rc = ReadStore(&store);
    if (rc != StoreOk) {
        return rc;
    }
    bool modified = false;
    rc = change(store, &modified);
    if (rc == StoreOk && modified) {
        // Without the lock (a read-only config folder) the store can still be read, not changed.
        rc = lock.held() ? WriteStore(store) : int32_t{StoreDenied};
    }
    return rc;
}

OpenKey* ToKey(StoreKey key) {
    return static_cast<OpenKey*>(key);
}

}  // namespace

int32_t StoreCreateKey(const char* path, const char* keyClass, StoreKey* key) {
    *key = nullptr;
    const int32_t rc = ChangeStore(
        [&](RegistryText& store, bool* modified) {
            if (!store.FindKey(path)) {
                store.AddKey(path, keyClass ? keyClass : "");
                *modified = true;
            }
            return int32_t{StoreOk};
        },
        true);
    if (rc == StoreOk) {
        *key = new OpenKey{path};
    }
    return rc;
}

int32_t StoreOpenKey(const char* path, StoreKey* key) {
    *key = nullptr;
    StoreLock lock(false);
    RegistryText store;
    const int32_t rc = ReadStore(&store);
    if (rc != StoreOk) {
        return rc;
    }
    if (!store.FindKey(path)) {
        return StoreNotFound;
    }
    *key = new OpenKey{path};
    return StoreOk;
}

int32_t StoreQueryValue(StoreKey key, const char* name, uint32_t* type, uint8_t* data,
                        uint32_t* size) {
    StoreLock lock(false);
    RegistryText store;
    const int32_t rc = ReadStore(&store);
    if (rc != StoreOk) {
        return rc;
    }
    RegistryKey* found = store.FindKey(ToKey(key)->path);
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
    const std::string path = ToKey(key)->path;
    return ChangeStore([&](RegistryText& store, bool* modified) {
        RegistryKey* found = store.FindKey(path);
        if (!found) {
            return int32_t{StoreNotFound};
        }
        const std::string valueName = name ? name : "";
        RegistryValue* value = FindValue(*found, valueName);
        if (!value) {
            found->values.push_back(RegistryValue{valueName, 0, {}});
            value = &found->values.back();
        }
        value->type = type;
        value->data.assign(data, data + size);
        *modified = true;
        return int32_t{StoreOk};
    });
}

void StoreCloseKey(StoreKey key) {
    delete ToKey(key);
}

int32_t StoreDeleteKey(const char* path) {
    return ChangeStore([&](RegistryText& store, bool* modified) {
        if (!store.FindKey(path)) {
            return int32_t{StoreNotFound};
        }
        if (store.HasSubkeys(path)) {
            return int32_t{StoreDenied};
        }
        store.RemoveKey(path);
        *modified = true;
        return int32_t{StoreOk};
    });
}

int32_t StoreQueryKeyClass(const char* path, char* keyClass, uint32_t size) {
    StoreLock lock(false);
    RegistryText store;
    const int32_t rc = ReadStore(&store);
    if (rc != StoreOk) {
        return rc;
    }
    RegistryKey* found = store.FindKey(path);
    if (!found) {
        return StoreNotFound;
    }
    if (found->keyClass.size() + 1 > size) {
        return StoreMoreData;
    }
    std::memcpy(keyClass, found->keyClass.c_str(), found->keyClass.size() + 1);
    return StoreOk;
}
