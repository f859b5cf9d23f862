#include "show/folder_search.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <vector>

#include "base/trace.h"
#include "image/stop_check.h"
#include "show/catalogue.h"

const char PathSeparator = '/';

namespace {

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

// Windows lists a folder in the file system's name order, and NTFS compares names by their
// upper case: "ab" before "a_b", "z" before "[x]". readdir gives hash order instead, which would
// make the show's folder order look shuffled. Bytes past ASCII compare as they are (UTF-8 then
// sorts by code point); names that differ only in case, impossible on Windows, by their bytes,
// so that no two names of a folder are equal.
int CompareNames(const char* a, const char* b) {
    for (size_t i = 0;; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        x = x >= 'a' && x <= 'z' ? static_cast<unsigned char>(x - 'a' + 'A') : x;
        y = y >= 'a' && y <= 'z' ? static_cast<unsigned char>(y - 'a' + 'A') : y;
        if (x != y) {
            return x < y ? -1 : 1;
        }
        if (x == 0) {
            return strcmp(a, b);
        }
    }
}

// A folder is handed out in slices, each the smallest names above the last one handed out,
// found by one pass over the folder. A slice holds up to two catalogues' worth and is cut back
// to the smaller half when full, so that a folder of pictures fills the catalogue in one pass
// whatever its size. A search opened while others are (a subfolder's, inside its parent's) may
// hold half the bytes of the one above it, down to LeastBytes (about a thousand names, so that
// a large folder deep in a tree is still read in few passes): a tree ten deep holds about
// 5 MiB, and even one of MaxPath / 2 folders, the deepest a path allows, less than 40 MiB.
constexpr size_t SliceNames = 2 * static_cast<size_t>(MaxImages);
constexpr size_t TopBytes = size_t{2} << 20;
constexpr size_t LeastBytes = size_t{256} << 10;
constexpr uint32_t EntriesPerStopCheck = 256;

int32_t g_openSearches = 0;

struct OpenSearch {
    DIR* dir;
    char folder[MaxPath];
    char wildcard[MaxPath];
    size_t budget;             // bytes the slice may take, names and places together
    std::vector<char> names;   // for each name of the slice: its d_type, the name, a NUL
    std::vector<uint32_t> at;  // where each name of the slice starts in names
    size_t next;               // the next of at to hand out
    char after[MaxPath];       // the last name handed out, when handedOut
    bool handedOut;
    bool lastSlice;  // the pass met no name past the slice
};

const char* SliceName(const OpenSearch* search, uint32_t at) {
    return search->names.data() + at + 1;
}

// Grows a vector by doubling, but never past limit: its capacity is the memory bound.
template <typename T>
void MakeRoom(std::vector<T>* v, size_t more, size_t limit) {
    if (v->size() + more > v->capacity()) {
        v->reserve(std::max(v->size() + more, std::min(v->capacity() * 2 + 256, limit)));
    }
}

// Keeps the smaller half of the slice; ceiling gets the largest name kept.
void CutSlice(OpenSearch* search, char* ceiling) {
    auto before = [search](uint32_t a, uint32_t b) {
        return CompareNames(SliceName(search, a), SliceName(search, b)) < 0;
    };
    size_t keep = std::max<size_t>(1, search->at.size() / 2);
    std::nth_element(search->at.begin(), search->at.begin() + (keep - 1), search->at.end(), before);
    search->at.resize(keep);
    std::vector<char> kept;
    kept.reserve(search->names.size() / 2 + MaxPath);
    for (uint32_t& at : search->at) {
        const char* entry = search->names.data() + at;
        size_t length = strlen(entry + 1) + 2;
        MakeRoom(&kept, length, search->budget + 2 * MaxPath);
        at = static_cast<uint32_t>(kept.size());
        kept.insert(kept.end(), entry, entry + length);
    }
    search->names.swap(kept);
    strcpy(ceiling, SliceName(search, search->at[keep - 1]));
}

// One pass over the folder for the next slice, sorted; zero when asked to stop.
int32_t ReadSlice(OpenSearch* search) {
    search->names.clear();
    search->at.clear();
    search->next = 0;
    rewinddir(search->dir);
    char ceiling[MaxPath];
    bool cut = false;
    uint32_t seen = 0;
    while (dirent* found = readdir(search->dir)) {
        if (++seen % EntriesPerStopCheck == 0 && ShouldStop()) {
            return 0;
        }
        const char* name = found->d_name;
        size_t length = strlen(name);
        if (length >= static_cast<size_t>(MaxPath) || !NameMatches(search->wildcard, name) ||
            (search->handedOut && CompareNames(name, search->after) <= 0) ||
            (cut && CompareNames(name, ceiling) >= 0)) {
            continue;
        }
        MakeRoom(&search->names, length + 2, search->budget + 2 * MaxPath);
        MakeRoom(&search->at, 1, std::min(SliceNames, search->budget / sizeof(uint32_t)));
        search->at.push_back(static_cast<uint32_t>(search->names.size()));
        search->names.push_back(static_cast<char>(found->d_type));
        search->names.insert(search->names.end(), name, name + length + 1);
        if (search->at.size() >= SliceNames ||
            search->names.size() + search->at.size() * sizeof(uint32_t) > search->budget) {
            CutSlice(search, ceiling);
            cut = true;
        }
    }
    std::sort(search->at.begin(), search->at.end(), [search](uint32_t a, uint32_t b) {
        return CompareNames(SliceName(search, a), SliceName(search, b)) < 0;
    });
    search->lastSlice = !cut;
    return 1;
}

// Fills entry with the next matching name in name order; folder bit through links.
int32_t Fetch(OpenSearch* search, FolderEntry* entry) {
    if (search->next >= search->at.size()) {
        if (search->lastSlice) {
            return 0;
        }
        try {
            if (!ReadSlice(search) || search->at.empty()) {
                return 0;
            }
        } catch (const std::bad_alloc&) {
            Trace("folder search: no memory to sort a folder");
            return 0;
        }
    }
    uint32_t at = search->at[search->next++];
    unsigned char type = static_cast<unsigned char>(search->names[at]);
    const char* name = SliceName(search, at);
    size_t nameLength = strlen(name);
    int32_t isFolder = type == DT_DIR;
    bool dotName = strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
    if ((type == DT_LNK || type == DT_UNKNOWN) && !dotName) {
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
    memcpy(search->after, name, nameLength + 1);
    search->handedOut = true;
    entry->isFolder = isFolder;
    return 1;
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
    int32_t above = std::min(g_openSearches, 20);
    search->budget = std::max(LeastBytes, TopBytes >> above);
    ++g_openSearches;
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
    --g_openSearches;
}
