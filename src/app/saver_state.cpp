#include "app/saver_state.h"

#include <cstring>
#include "settings/registry_store.h"

ModuleHandle g_instance = nullptr;
SaverMode g_saverMode = NoMode;
SaverState* g_saverState = nullptr;
WindowHandle g_saverWindow = nullptr;

namespace {

// The four bytes of the value, whatever its type; shorter data leaves the rest zero.
void ReadSystemOption(StoreKey key, const char* name, int32_t* field) {
    uint8_t data[4] = {0, 0, 0, 0};
    uint32_t type = StoreTypeNone;
    uint32_t size = sizeof data;
    if (StoreQueryValue(key, name, &type, data, &size) == StoreOk) {
        std::memcpy(field, data, 4);
    }
}

}  // namespace

void SaverState::LoadSystemOptions() {
    passwordDelay = 15;
    mouseThreshold = 50;
    checkingPassword = 0;
    StoreKey key;
    if (StoreOpenKey(SystemOptionsKeyPath, &key) != StoreOk) {
        return;
    }
    ReadSystemOption(key, "Password Delay", &passwordDelay);
    ReadSystemOption(key, "Mouse Threshold", &mouseThreshold);
    StoreCloseKey(key);
}
