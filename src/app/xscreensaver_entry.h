#pragma once
// The arguments of Fotovane's entry in XScreenSaver's list: the settings given with
// --add-to-xscreensaver, written as the saver's settings page writes them.

#include <string>
#include "app/options.h"

// "--root --defaults", then each show setting the options give that differs from its default,
// in the page's order; the folder quoted for the shell, so that the settings tool's line
// wrapping stays inside one word.
std::string EntryArguments(const ProgramOptions& options);
