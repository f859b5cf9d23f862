#pragma once
// fotovane --add-to-xscreensaver: the user's XScreenSaver list gains a Fotovane entry.

// Edits ~/.xscreensaver (made from the system defaults where missing) and says what it did on
// stdout, or why not on stderr. The process's exit status.
int AddToXScreenSaver();
