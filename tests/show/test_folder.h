#pragma once
// A private folder below the system's temporary folder, removed with everything in it.

#include <filesystem>
#include <string>

class TestFolder {
  public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // Creates the file (and the folders above it) with the given bytes; relative names use "/".
    std::string AddFile(const std::string& relative, const std::string& bytes = "");
    std::string AddFolder(const std::string& relative);
    // The path as the catalogue forms it: the folder text, the platform separator, the name.
    std::string PathOf(const std::string& relative) const;
    const std::string& Text() const { return text; }

  private:
    std::filesystem::path root;
    std::string text;
};
