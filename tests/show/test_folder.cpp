#include "show/test_folder.h"

#include <atomic>
#include <chrono>
#include <fstream>

#include "show/folder_search.h"

TestFolder::TestFolder() {
    static std::atomic<int> serial{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    root = std::filesystem::temp_directory_path() /
           ("fotovane-show-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(root);
    text = root.string();
}

TestFolder::~TestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::string TestFolder::AddFile(const std::string& relative, const std::string& bytes) {
    std::filesystem::path file = root / std::filesystem::path(relative).make_preferred();
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return PathOf(relative);
}

std::string TestFolder::AddFolder(const std::string& relative) {
    std::filesystem::create_directories(root / std::filesystem::path(relative).make_preferred());
    return PathOf(relative);
}

std::string TestFolder::PathOf(const std::string& relative) const {
    std::string path = text + PathSeparator + relative;
    for (char& c : path) {
        if (c == '/') {
            c = PathSeparator;
        }
    }
    return path;
}
