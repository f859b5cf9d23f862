#pragma once
// What the setup dialog shows for the stored settings and what it stores back: the part of
// the dialog that needs no window.

#include <cstdint>
#include "app/saver_mode.h"
#include "settings/settings.h"

// Check states of the dialog's buttons, one per radio button or check box.
struct ConfigChecks {
    bool centered;
    bool scattered;
    bool slideShow;
    bool collage;
    bool fullScreen;
    bool large;
    bool small;
    bool subdirs;
    bool random;
};

// A stored value outside a group's choices leaves the whole group clear.
ConfigChecks ChecksFromSettings(const SaverSettings& settings);

// Writes size, mode, position, subdirs and random. A mode group with neither button checked
// keeps the stored mode, so values the dialog cannot show survive an OK.
void StoreChecks(const ConfigChecks& checks, SaverSettings* settings);

// Collage piles pictures over one another; full-screen or centered ones would only cover
// each other, so choosing it moves Full Screen to Large and Centered to Scattered.
void ApplyCollageChoice(ConfigChecks* checks);

// The advance-time text reads as numbers on the command line do: white space, an optional
// sign, then decimal digits accumulated in 32 bits with wrap-around.
inline int32_t ReadDelayText(const char* text) { return ReadNumber(text); }

// Longer (+1) and Shorter (-1): no bounds, 32-bit wrap-around.
int32_t StepDelay(const char* text, int32_t step);

// Signed decimal text of a delay; the buffer needs 12 bytes.
void FormatDelay(int32_t delay, char* text, int size);
