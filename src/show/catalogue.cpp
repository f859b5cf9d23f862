#include "show/catalogue.h"

#include <chrono>
#include <cstring>

#include "base/trace.h"
#include "image/stop_check.h"
#include "show/folder_search.h"
#include "show/folder_visits.h"
#include "show/show_random.h"

ImageCatalogue g_catalogue;
ShowRandom g_showRandom;

namespace {

// The formats of the build in progress.
int32_t g_scanFormats = 0;

constexpr const char* PictureEndings[] = {".jpg",  ".jpeg", ".jpe", ".png",
                                          ".webp", ".heic", ".heif"};

bool EndsWithNoCase(const char* name, size_t length, const char* ending) {
    size_t endingLength = strlen(ending);
    if (length < endingLength) {
        return false;
    }
    const char* tail = name + length - endingLength;
    for (size_t i = 0; i < endingLength; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != ending[i]) {
            return false;
        }
    }
    return true;
}

// folder + separator + tail into a MaxPath buffer; zero (and nothing written) when it would not
// fit, so that over-long folders and names are passed over.
int32_t JoinPath(char* out, const char* folder, const char* tail) {
    size_t folderLength = strlen(folder);
    size_t tailLength = strlen(tail);
    if (folderLength + 1 + tailLength >= static_cast<size_t>(MaxPath)) {
        Trace("catalogue: path too long, passed over");
        return 0;
    }
    memcpy(out, folder, folderLength);
    out[folderLength] = PathSeparator;
    memcpy(out + folderLength + 1, tail, tailLength + 1);
    return 1;
}

// Visits the entries of folder that match the wildcard, in the order the search returns them,
// until the catalogue is full.
template <typename Visit>
void ForEachEntry(const char* folder, const char* wildcard, Visit visit) {
    char pattern[MaxPath];
    if (!JoinPath(pattern, folder, wildcard)) {
        return;
    }
    FolderSearch search;
    FolderEntry entry;
    if (!search.First(pattern, &entry)) {
        return;
    }
    do {
        // A stopped scan keeps what it found so far.
        if (g_catalogue.count >= MaxImages || ShouldStop()) {
            break;
        }
        visit(entry);
    } while (search.Next(&entry));
}

void ScanSubfolders(const char* folder, int32_t subdirs) {
    ForEachEntry(folder, "*.*", [&](const FolderEntry& entry) {
        char joined[MaxPath];
        if (entry.isFolder && entry.name[0] != '.' && JoinPath(joined, folder, entry.name)) {
            ScanFolder(joined, subdirs);
        }
    });
}

void ScanFiles(const char* folder) {
    // Every format: all names, chosen by their endings here, the same on every platform.
    const bool jpegOnly = g_scanFormats == 0;
    ForEachEntry(folder, jpegOnly ? "*.jpg" : "*", [&](const FolderEntry& entry) {
        if (!entry.isFolder && (jpegOnly || IsPictureName(entry.name)) &&
            JoinPath(g_catalogue.paths[g_catalogue.count], folder, entry.name)) {
            ++g_catalogue.count;
        }
    });
}

}  // namespace

int32_t IsPictureName(const char* name) {
    size_t length = strlen(name);
    for (const char* ending : PictureEndings) {
        if (EndsWithNoCase(name, length, ending)) {
            return 1;
        }
    }
    return 0;
}

void BuildCatalogue(const char* folder, int32_t subdirs, int32_t formats) {
    g_catalogue.count = 0;
    g_scanFormats = formats;
    // An empty catalogue must name the empty path, not what an earlier build left there.
    g_catalogue.paths[0][0] = '\0';
    // A text without its NUL inside the buffer would name some other folder once cut.
    size_t length = strnlen(folder, MaxPath);
    if (length >= static_cast<size_t>(MaxPath)) {
        Trace("catalogue: folder text too long");
        return;
    }
    char copy[MaxPath];
    memcpy(copy, folder, length + 1);
    ForgetVisitedFolders();
    ScanFolder(copy, subdirs);
    ForgetVisitedFolders();
}

void ScanFolder(const char* folder, int32_t subdirs) {
    // Each folder once per build, whatever leads to it again: links to a folder above, or two
    // to one place. A link to a folder not yet seen is followed like any folder.
    if (!FirstVisit(folder)) {
        return;
    }
    if (subdirs) {
        ScanSubfolders(folder, subdirs);
    }
    ScanFiles(folder);
}

void ShuffleOrder() {
    using namespace std::chrono;
    auto sinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
    ShuffleOrderFrom(static_cast<uint32_t>(sinceEpoch.count() % 1000));
}

void ShuffleOrderFrom(uint32_t seed) {
    g_showRandom.Seed(seed);
    int32_t count = g_catalogue.count;
    for (int32_t i = 0; i < count; ++i) {
        g_catalogue.playOrder[i] = i;
    }
    // Each place is exchanged with one drawn from the whole range, visited or not.
    for (int32_t i = 0; i < count; ++i) {
        int32_t j = (g_showRandom.Next() * (count - 1)) / 32767;
        int32_t kept = g_catalogue.playOrder[i];
        g_catalogue.playOrder[i] = g_catalogue.playOrder[j];
        g_catalogue.playOrder[j] = kept;
    }
}

void AdvanceImage(int32_t random) {
    ++g_catalogue.orderPosition;
    if (g_catalogue.orderPosition >= g_catalogue.count || g_catalogue.orderPosition < 0) {
        g_catalogue.orderPosition = 0;
    }
    bool shuffled = random && g_catalogue.count > 0;
    g_catalogue.currentIndex =
        shuffled ? g_catalogue.playOrder[g_catalogue.orderPosition] : g_catalogue.orderPosition;
}

const char* CurrentPath() {
    return g_catalogue.paths[g_catalogue.currentIndex];
}
