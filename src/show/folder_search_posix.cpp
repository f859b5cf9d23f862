#include "show/folder_search.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <cctype>
#include <cstring>
#include <new>

const char PathSeparator = '/';

namespace {

struct OpenSearch {
    DIR* dir;
    char folder[MaxPath];
    char wildcard[MaxPath];
};

bool WildcardMatches(const char* wildcard, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*wildcard == '*') {
            star = wildcard++;
            resume = name;
        } else if (*wildcard &&
                   (*wildcard == '?' || tolower(static_cast<unsigned char>(*wildcard)) ==
                                            tolower(static_cast<unsigned char>(*name)))) {
            ++wildcard;
            ++name;
        } else if (star) {
            wildcard = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*wildcard == '*') {
        ++wildcard;
    }
    return *wildcard == '\0';
}

bool EndsWith(const char* text, size_t length, const char* ending) {
    size_t endingLength = strlen(ending);
    return length >= endingLength && strcasecmp(text + length - endingLength, ending) == 0;
}

bool NameMatches(const char* wildcard, const char* name) {
    // As on Windows, "*.*" also takes names without a dot.
    if (strcmp(wildcard, "*") == 0 || strcmp(wildcard, "*.*") == 0) {
        return true;
    }
    if (WildcardMatches(wildcard, name)) {
        return true;
    }
    // Windows matches the short names too, where "photo.jpeg" is "PHOTO~1.JPG".
    size_t wildcardLength = strlen(wildcard);
    size_t nameLength = strlen(name);
    if (!EndsWith(wildcard, wildcardLength, ".jpg") || !EndsWith(name, nameLength, ".jpeg")) {
        return false;
    }
    char wildcardStem[MaxPath];
    char nameStem[MaxPath];
    if (nameLength >= sizeof nameStem) {
        return false;
    }
    memcpy(wildcardStem, wildcard, wildcardLength - 4);
    wildcardStem[wildcardLength - 4] = '\0';
    memcpy(nameStem, name, nameLength - 5);
    nameStem[nameLength - 5] = '\0';
    return WildcardMatches(wildcardStem, nameStem);
}

// Fills entry with the next matching name; folder bit through links.
int32_t Fetch(OpenSearch* search, FolderEntry* entry) {
    while (dirent* found = readdir(search->dir)) {
        const char* name = found->d_name;
        size_t nameLength = strlen(name);
        if (nameLength >= sizeof entry->name || !NameMatches(search->wildcard, name)) {
            continue;
        }
        int32_t isFolder = found->d_type == DT_DIR;
        bool dotName = strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
        if ((found->d_type == DT_LNK || found->d_type == DT_UNKNOWN) && !dotName) {
            char full[2 * MaxPath];
            size_t folderLength = strlen(search->folder);
            memcpy(full, search->folder, folderLength);
            full[folderLength] = '/';
            memcpy(full + folderLength + 1, name, nameLength + 1);
            struct stat target;
            if (stat(full, &target) == 0 && S_ISDIR(target.st_mode)) {
                isFolder = 1;
            }
        }
        memcpy(entry->name, name, nameLength + 1);
        entry->isFolder = isFolder;
        return 1;
    }
    return 0;
}

}  // namespace

int32_t ReadFolderIdentity(const char* folder, FolderIdentity* identity) {
    // An empty folder text gives the pattern "/*.jpg": the root.
    struct stat found;
    if (stat(folder[0] ? folder : "/", &found) != 0 || !S_ISDIR(found.st_mode)) {
        return 0;
    }
    identity->volume = static_cast<uint64_t>(found.st_dev);
    identity->file = static_cast<uint64_t>(found.st_ino);
    return 1;
}

int32_t FolderSearch::First(const char* pattern, FolderEntry* entry) {
    Close();
    const char* slash = strrchr(pattern, '/');
    const char* wildcard = slash ? slash + 1 : pattern;
    size_t folderLength = slash ? static_cast<size_t>(slash - pattern) : 0;
    if (folderLength >= static_cast<size_t>(MaxPath) ||
        strlen(wildcard) >= static_cast<size_t>(MaxPath)) {
        return 0;
    }
    OpenSearch* search = new (std::nothrow) OpenSearch();
    if (!search) {
        return 0;
    }
    if (!slash) {
        strcpy(search->folder, ".");
    } else if (folderLength == 0) {
        strcpy(search->folder, "/");
    } else {
        memcpy(search->folder, pattern, folderLength);
        search->folder[folderLength] = '\0';
    }
    strcpy(search->wildcard, wildcard);
    search->dir = opendir(search->folder);
    if (!search->dir) {
        delete search;
        return 0;
    }
    handle = search;
    if (!Fetch(search, entry)) {
        Close();
        return 0;
    }
    return 1;
}

int32_t FolderSearch::Next(FolderEntry* entry) {
    return handle ? Fetch(static_cast<OpenSearch*>(handle), entry) : 0;
}

void FolderSearch::Close() {
    if (!handle) {
        return;
    }
    OpenSearch* search = static_cast<OpenSearch*>(handle);
    closedir(search->dir);
    delete search;
    handle = nullptr;
}
