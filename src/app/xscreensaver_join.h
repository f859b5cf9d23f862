#pragma once
// fotovane --add-to-xscreensaver: the user's XScreenSaver list gains a Fotovane entry.

#include "app/options.h"

// Edits ~/.xscreensaver (made from the system defaults where missing) so that our entry runs
// the show settings of the options (the folder given absolute), and says what it did on
// stdout, or why not on stderr. The process's exit status.
int AddToXScreenSaver(const ProgramOptions& options);
