#include "settings/settings.h"

#include <cstring>
#include <string>
#include "settings/registry_store.h"

SaverSettings g_settings;

namespace {

constexpr const char* KeyClass = "binary";

bool OpenSettingsKey(StoreKey* key) {
    return StoreCreateKey(SettingsKeyPath(), KeyClass, key) == StoreOk;
}

// Copies up to the first NUL, never more than MaxPath - 1 characters, always terminated.
void CopyPath(char* to, const char* from, size_t available) {
    size_t n = 0;
    while (n < available && n < MaxPath - 1 && from[n] != '\0') {
        to[n] = from[n];
        ++n;
    }
    to[n] = '\0';
}

}  // namespace

const char* SettingsKeyPath() {
    return "Software\\Screen Savers\\Fotovane3.0";
}

void ReadDwordValue(int32_t* value, const char* name, int32_t fallback) {
    StoreKey key;
    if (!OpenSettingsKey(&key)) {
        *value = fallback;
        return;
    }
    uint8_t data[4] = {0, 0, 0, 0};
    uint32_t type = StoreTypeNone;
    uint32_t size = sizeof data;
    if (StoreQueryValue(key, name, &type, data, &size) == StoreOk && type == StoreTypeDword &&
        size == 4) {
        std::memcpy(value, data, 4);
    } else {
        *value = fallback;
    }
    StoreCloseKey(key);
}

void ReadStringValue(char* value, const char* name, const char* fallback) {
    StoreKey key;
    if (!OpenSettingsKey(&key)) {
        CopyPath(value, fallback, MaxPath);
        return;
    }
    char data[MaxPath];
    uint32_t type = StoreTypeNone;
    uint32_t size = sizeof data;
    const int32_t rc = StoreQueryValue(key, name, &type, reinterpret_cast<uint8_t*>(data), &size);
    if (rc == StoreOk && type == StoreTypeSz) {
        CopyPath(value, data, size);
    } else {
        CopyPath(value, fallback, MaxPath);
    }
    if (rc == StoreMoreData && type == StoreTypeSz) {
        // Replaced whole rather than cut short: a shortened folder is another folder.
        StoreTellIgnored(("\"" + std::string(name) + "\" is longer than " +
                          std::to_string(MaxPath - 1) + " bytes; the default is used")
                             .c_str());
    }
    StoreCloseKey(key);
}

void WriteDwordValue(const int32_t* value, const char* name) {
    StoreKey key;
    if (!OpenSettingsKey(&key)) {
        return;
    }
    uint8_t data[4];
    std::memcpy(data, value, 4);
    StoreSetValue(key, name, StoreTypeDword, data, 4);
    StoreCloseKey(key);
}

void WriteStringValue(const char* value, const char* name) {
    StoreKey key;
    if (!OpenSettingsKey(&key)) {
        return;
    }
    const auto size = static_cast<uint32_t>(std::strlen(value) + 1);
    StoreSetValue(key, name, StoreTypeSz, reinterpret_cast<const uint8_t*>(value), size);
    StoreCloseKey(key);
}

void LoadSettings() {
    ReadDwordValue(&g_settings.delay, "delay", DefaultDelay);
    ReadDwordValue(&g_settings.position, "position", DefaultPosition);
    ReadDwordValue(&g_settings.mode, "mode", 0);
    ReadDwordValue(&g_settings.size, "size", 0);
    ReadDwordValue(&g_settings.subdirs, "subdirs", 0);
    ReadDwordValue(&g_settings.random, "random", 0);
    ReadStringValue(g_settings.path, "path", DefaultPath);
    ReadDwordValue(&g_settings.formats, "formats", DefaultFormats);
}

bool SaveSettings() {
    StoreBeginChanges();
    WriteDwordValue(&g_settings.delay, "delay");
    WriteDwordValue(&g_settings.position, "position");
    WriteDwordValue(&g_settings.mode, "mode");
    WriteDwordValue(&g_settings.size, "size");
    WriteDwordValue(&g_settings.subdirs, "subdirs");
    WriteDwordValue(&g_settings.random, "random");
    WriteStringValue(g_settings.path, "path");
    // The Windows settings dialog has no choice of formats: it leaves a stored one as it is.
#ifndef _WIN32
    WriteDwordValue(&g_settings.formats, "formats");
#endif
    return StoreCommitChanges() == StoreOk;
}

void DeleteSettings() {
    StoreDeleteKey(SettingsKeyPath());
}
