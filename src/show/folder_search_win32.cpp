#include "show/folder_search.h"

#include <windows.h>
#include <cstring>

const char PathSeparator = '\\';

namespace {

void CopyEntry(const WIN32_FIND_DATAA& found, FolderEntry* entry) {
    memcpy(entry->name, found.cFileName, sizeof entry->name);
    entry->name[MaxPath - 1] = '\0';
    entry->isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

int32_t FolderSearch::First(const char* pattern, FolderEntry* entry) {
    Close();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    handle = search;
    CopyEntry(found, entry);
    return 1;
}

int32_t FolderSearch::Next(FolderEntry* entry) {
    if (!handle) {
        return 0;
    }
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(static_cast<HANDLE>(handle), &found)) {
        return 0;
    }
    CopyEntry(found, entry);
    return 1;
}

void FolderSearch::Close() {
    if (handle) {
        FindClose(static_cast<HANDLE>(handle));
        handle = nullptr;
    }
}
