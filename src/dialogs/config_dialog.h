#pragma once
// The setup dialog, where the user edits and stores the show settings.

#include "base/platform_types.h"

// Modal; returns when the user closes the dialog. The owner may be null, or no window at all,
// and then the dialog has none.
void ShowConfigDialog(WindowHandle owner);
