#pragma once
// The user's show settings, their defaults and their store under the current user.

#include <cstdint>
#include "app/platform_types.h"

struct SaverSettings {
    int32_t delay;     // timer ticks (seconds) from one picture to the next
    int32_t position;  // 0 centered, anything else scattered
    int32_t mode;      // 0 slide show, anything else collage
    int32_t size;      // 0 full screen, 1 large, anything else small
    int32_t subdirs;   // nonzero: folders below path count too
    int32_t random;    // nonzero: shuffled order
    char path[MaxPath];
};

extern SaverSettings g_settings;

constexpr int32_t DefaultDelay = 10;
constexpr int32_t DefaultPosition = 1;
constexpr const char* DefaultPath = "C:\\Fotovane Images";

const char* SettingsKeyPath();

void LoadSettings();
// Writes all seven values together. The registry's failures pass silently (true); the store
// file's are told on stderr and give false.
bool SaveSettings();
void DeleteSettings();

void ReadDwordValue(int32_t* value, const char* name, int32_t fallback);
void ReadStringValue(char* value, const char* name, const char* fallback);
void WriteDwordValue(const int32_t* value, const char* name);
void WriteStringValue(const char* value, const char* name);
