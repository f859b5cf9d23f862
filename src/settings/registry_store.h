#pragma once
// Typed-value primitives of the current user's store: the registry on Windows, a store file
// elsewhere. Results are Win32 error codes, so both sides report alike.

#include <cstdint>

using StoreKey = void*;

enum StoreResult : int32_t {
    StoreOk = 0,
    StoreNotFound = 2,    // ERROR_FILE_NOT_FOUND
    StoreDenied = 5,      // ERROR_ACCESS_DENIED
    StoreBadData = 13,    // ERROR_INVALID_DATA: the store cannot be read
    StoreMoreData = 234,  // ERROR_MORE_DATA: the buffer is too small
};

enum StoreType : uint32_t {
    StoreTypeNone = 0,
    StoreTypeSz = 1,
    StoreTypeExpandSz = 2,
    StoreTypeBinary = 3,
    StoreTypeDword = 4,
    StoreTypeMultiSz = 7,
    StoreTypeQword = 11,
};

// Opens the key below the current user's root, creating it (and its parents) with the given
// class when it is missing. The store file creates it with its first value instead, so that
// reading writes nothing.
int32_t StoreCreateKey(const char* path, const char* keyClass, StoreKey* key);
// Opens an existing key only.
int32_t StoreOpenKey(const char* path, StoreKey* key);
// As RegQueryValueExA: on StoreMoreData, *size says how much the data needs.
int32_t StoreQueryValue(StoreKey key, const char* name, uint32_t* type, uint8_t* data,
                        uint32_t* size);
int32_t StoreSetValue(StoreKey key, const char* name, uint32_t type, const uint8_t* data,
                      uint32_t size);
void StoreCloseKey(StoreKey key);
// Deletes a key that has no subkeys.
int32_t StoreDeleteKey(const char* path);
// The class string the key was created with.
int32_t StoreQueryKeyClass(const char* path, char* keyClass, uint32_t size);
// Changes made between these two reach the store together, all or none, and Commit says
// whether they did. The registry takes each change as it is made: there both do nothing.
void StoreBeginChanges();
int32_t StoreCommitChanges();
// Tells why a stored value is not used, once for each reading of the store: on stderr for the
// store file. The registry has no one to tell.
void StoreTellIgnored(const char* why);
