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

int32_t ReadFolderIdentity(const char* folder, FolderIdentity* identity) {
    // The search lists folder + "\\": "" is the root of the current drive and "C:" the root
    // of C, not the current folder that those texts would name on their own.
    char listed[MaxPath + 1];
    size_t length = strnlen(folder, MaxPath);
    if (length >= static_cast<size_t>(MaxPath)) {
        return 0;
    }
    memcpy(listed, folder, length);
    if (length == 0 || (folder[length - 1] != '\\' && folder[length - 1] != '/')) {
        listed[length++] = '\\';
    }
    listed[length] = '\0';
    // Backup semantics open folders; without the reparse-point flag a link or junction opens
    // its target.
    HANDLE file = CreateFileA(listed, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION information;
    BOOL read = GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    if (!read) {
        return 0;
    }
    identity->volume = information.dwVolumeSerialNumber;
    identity->file =
        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return 1;
}

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
