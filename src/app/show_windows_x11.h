#pragma once
// The show windows of the X11 program and their event loop: a host's window, one full-screen
// window per monitor, or a window of its own.

#include <X11/Xlib.h>
#include <cstdint>
#include "app/saver_state.h"

// Draws into a window another program made. False when it does not exist.
bool OpenHostWindow(Display* display, Window window);
// One override-redirect window per monitor, cursor hidden, input grabbed; input ends the show.
// Sets the state's pointer baseline. False, with a message and nothing shown, when another
// client keeps the keyboard or pointer.
bool OpenStandaloneWindows(Display* display, SaverState* state);
// A normal top-level window; a key or closing it ends the show.
void OpenOwnWindow(Display* display);

// Runs the shows until termination, the window's end or ending input; then frees everything.
void RunShowWindows(const SaverState& state);

// Nonzero when long work should give way (installed as the stop check).
int32_t ShowStopRequested();
// Xlib error handler: a window that went away ends the show, other errors cost one frame.
int OnShowXError(Display* display, XErrorEvent* error);
