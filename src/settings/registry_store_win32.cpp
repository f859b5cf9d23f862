#include "settings/registry_store.h"

#include <windows.h>

namespace {

HKEY ToKey(StoreKey key) {
    return static_cast<HKEY>(key);
}

}  // namespace

int32_t StoreCreateKey(const char* path, const char* keyClass, StoreKey* key) {
    HKEY opened = nullptr;
    DWORD disposition = 0;
    const LONG rc =
        RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, const_cast<char*>(keyClass),
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &opened, &disposition);
    *key = opened;
    return rc;
}

int32_t StoreOpenKey(const char* path, StoreKey* key) {
    HKEY opened = nullptr;
    const LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &opened);
    *key = opened;
    return rc;
}

int32_t StoreQueryValue(StoreKey key, const char* name, uint32_t* type, uint8_t* data,
                        uint32_t* size) {
    DWORD valueType = 0;
    DWORD valueSize = *size;
    const LONG rc = RegQueryValueExA(ToKey(key), name, nullptr, &valueType, data, &valueSize);
    *type = valueType;
    *size = valueSize;
    return rc;
}

int32_t StoreSetValue(StoreKey key, const char* name, uint32_t type, const uint8_t* data,
                      uint32_t size) {
    return RegSetValueExA(ToKey(key), name, 0, type, data, size);
}

void StoreCloseKey(StoreKey key) {
    RegCloseKey(ToKey(key));
}

int32_t StoreDeleteKey(const char* path) {
    return RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

int32_t StoreQueryKeyClass(const char* path, char* keyClass, uint32_t size) {
    HKEY opened = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &opened);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    DWORD classSize = size;
    rc = RegQueryInfoKeyA(opened, keyClass, &classSize, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(opened);
    return rc;
}

void StoreBeginChanges() {}

int32_t StoreCommitChanges() {
    return ERROR_SUCCESS;
}

void StoreTellIgnored(const char*) {}
