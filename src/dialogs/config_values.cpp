#include "dialogs/config_values.h"

#include <cstdio>

ConfigChecks ChecksFromSettings(const SaverSettings& settings) {
    ConfigChecks checks{};
    checks.centered = settings.position == 0;
    checks.scattered = settings.position == 1;
    checks.slideShow = settings.mode == 0;
    checks.collage = settings.mode == 1;
    checks.fullScreen = settings.size == 0;
    checks.large = settings.size == 1;
    checks.small = settings.size >= 2;
    // The show counts any nonzero value as on, so the box shows it as on.
    checks.subdirs = settings.subdirs != 0;
    checks.random = settings.random != 0;
    return checks;
}

void StoreChecks(const ConfigChecks& checks, SaverSettings* settings) {
    settings->size = checks.fullScreen ? 0 : (checks.large ? 1 : 2);
    if (checks.slideShow) {
        settings->mode = 0;
    } else if (checks.collage) {
        settings->mode = 1;
    }
    settings->position = checks.centered ? 0 : 1;
    settings->subdirs = checks.subdirs ? 1 : 0;
    settings->random = checks.random ? 1 : 0;
}

void ApplyCollageChoice(ConfigChecks* checks) {
    checks->centered = false;
    checks->scattered = true;
    if (checks->fullScreen) {
        checks->fullScreen = false;
        checks->large = true;
    }
}

int32_t StepDelay(const char* text, int32_t step) {
    uint32_t value = static_cast<uint32_t>(ReadDelayText(text));
    return static_cast<int32_t>(value + static_cast<uint32_t>(step));
}

void FormatDelay(int32_t delay, char* text, int size) {
    std::snprintf(text, static_cast<size_t>(size), "%ld", static_cast<long>(delay));
}
