#pragma once
// The store file's contents: keys with typed values, read from and written as the registry's
// own export text (REGEDIT4), so that people can read and edit it with what they know.

#include <cstdint>
#include <string>
#include <vector>

struct RegistryValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct RegistryKey {
    std::string path;  // below HKEY_CURRENT_USER, backslash-separated
    std::string keyClass;
    std::vector<RegistryValue> values;
};

struct RegistryText {
    std::vector<RegistryKey> keys;

    // Key paths and value names compare without regard to case, as in the registry.
    RegistryKey* FindKey(const std::string& path);
    bool HasSubkeys(const std::string& path) const;
    // Adds the key and every missing parent; the class goes to the key itself.
    RegistryKey& AddKey(const std::string& path, const std::string& keyClass);
    void RemoveKey(const std::string& path);
};

RegistryValue* FindValue(RegistryKey& key, const std::string& name);

// False when the text is not a store this program wrote or could have written.
bool ParseRegistryText(const std::string& text, RegistryText* out);
std::string FormatRegistryText(const RegistryText& registry);
