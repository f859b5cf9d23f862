#pragma once
// Lists the entries of one folder that match a wildcard pattern such as "C:\Pictures\*.jpg",
// without regard to case, each with its folder bit, in the file system's name order on Windows
// and in the same order, by name without case, elsewhere. One implementation per platform.

#include <cstdint>
#include "base/platform_types.h"

// Joins a folder and a name in paths and patterns.
extern const char PathSeparator;

// What makes two paths one folder: a link or junction has its target's identity.
struct FolderIdentity {
    uint64_t volume;
    uint64_t file;
};

// The identity of the folder whose entries folder + separator + wildcard lists; zero when the
// folder cannot be opened.
int32_t ReadFolderIdentity(const char* folder, FolderIdentity* identity);

struct FolderEntry {
    char name[MaxPath];
    int32_t isFolder;  // nonzero for folders, links to folders included
};

class FolderSearch {
  public:
    FolderSearch() = default;
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;
    ~FolderSearch() { Close(); }

    // Starts the search and fetches the first entry; zero when nothing matches or the folder
    // cannot be read.
    int32_t First(const char* pattern, FolderEntry* entry);
    // Fetches the next entry; zero when there is none.
    int32_t Next(FolderEntry* entry);
    void Close();

  private:
    void* handle = nullptr;
};
