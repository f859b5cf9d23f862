#include "app/pictures_folder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "base/platform_types.h"

namespace {

bool CopyFolder(const std::string& text, char* folder) {
    if (text.empty() || text.size() >= static_cast<size_t>(MaxPath)) {
        return false;
    }
    std::memcpy(folder, text.c_str(), text.size() + 1);
    return true;
}

// The value between the quotes, backslash escapes undone; false for anything else.
bool QuotedValue(const char* p, std::string* value) {
    if (*p != '"') {
        return false;
    }
    ++p;
    value->clear();
    for (; *p && *p != '"' && *p != '\n'; ++p) {
        if (*p == '\\' && p[1] && p[1] != '\n') {
            ++p;
        }
        value->push_back(*p);
    }
    return *p == '"';
}

}  // namespace

int32_t PicturesFolderFromDirs(const char* dirsText, const char* home, char* folder) {
    static const char Key[] = "XDG_PICTURES_DIR=";
    std::string found;
    bool have = false;
    for (const char* line = dirsText; line && *line;) {
        const char* p = line;
        while (*p == ' ' || *p == '\t') {
            ++p;
        }
        std::string value;
        if (std::strncmp(p, Key, sizeof Key - 1) == 0 && QuotedValue(p + sizeof Key - 1, &value)) {
            // The last assignment wins, as when the shell reads the file.
            found = value;
            have = true;
        }
        const char* next = std::strchr(line, '\n');
        line = next ? next + 1 : nullptr;
    }
    if (!have) {
        return 0;
    }
    if (found.compare(0, 5, "$HOME") == 0 && (found.size() == 5 || found[5] == '/')) {
        if (!home || !*home) {
            return 0;
        }
        found = std::string(home) + found.substr(5);
    } else if (found.empty() || found[0] != '/') {
        return 0;  // only $HOME-relative and absolute paths are valid there
    }
    while (found.size() > 1 && found.back() == '/') {
        found.pop_back();
    }
    return CopyFolder(found, folder) ? 1 : 0;
}

void DefaultPicturesFolder(char* folder) {
    const char* home = std::getenv("HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string dirsPath;
    if (config && config[0] == '/') {
        dirsPath = std::string(config) + "/user-dirs.dirs";
    } else if (home && *home) {
        dirsPath = std::string(home) + "/.config/user-dirs.dirs";
    }
    if (!dirsPath.empty()) {
        if (FILE* file = std::fopen(dirsPath.c_str(), "r")) {
            std::string text;
            char block[4096];
            size_t n;
            while (text.size() < 65536 && (n = std::fread(block, 1, sizeof block, file)) > 0) {
                text.append(block, n);
            }
            std::fclose(file);
            if (PicturesFolderFromDirs(text.c_str(), home, folder)) {
                return;
            }
        }
    }
    if (!CopyFolder(std::string(home && *home ? home : "") + "/Pictures", folder)) {
        CopyFolder("/Pictures", folder);
    }
}
