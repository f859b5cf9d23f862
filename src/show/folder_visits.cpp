#include "show/folder_visits.h"

#include <cstddef>
#include <functional>
#include <new>
#include <unordered_set>

#include "base/trace.h"
#include "show/folder_search.h"

namespace {

struct IdentityHash {
    size_t operator()(const FolderIdentity& identity) const {
        return std::hash<uint64_t>()(identity.file * 0x9E3779B97F4A7C15ull ^ identity.volume);
    }
};

struct SameIdentity {
    bool operator()(const FolderIdentity& a, const FolderIdentity& b) const {
        return a.volume == b.volume && a.file == b.file;
    }
};

std::unordered_set<FolderIdentity, IdentityHash, SameIdentity> g_visitedFolders;

}  // namespace

void ForgetVisitedFolders() {
    std::unordered_set<FolderIdentity, IdentityHash, SameIdentity>().swap(g_visitedFolders);
}

int32_t FirstVisit(const char* folder) {
    FolderIdentity identity;
    if (!ReadFolderIdentity(folder, &identity)) {
        // Nothing to tell it apart by; its listing, if any, is still the user's pictures. A
        // loop needs links, and those lead to folders that can be identified.
        return 1;
    }
    try {
        return g_visitedFolders.insert(identity).second ? 1 : 0;
    } catch (const std::bad_alloc&) {
        // Without room to remember it, scanning could repeat without end.
        Trace("catalogue: no memory for the folders seen");
        return 0;
    }
}
