#pragma once
// Long work on the show's one thread (the folder scan, a picture's decode) asks between steps
// whether to give up, so that input or a signal is answered within moments, not after it. The
// front end supplies the check: waiting input on Windows, a termination request on X11.

#include <cstdint>

// Nonzero when the front end wants the work in progress to end now.
using StopCheck = int32_t (*)();

// Installs the front end's check; null (the start) never stops.
void SetStopCheck(StopCheck check);

// Whether a check is installed: work that is split only to answer it need not be, without one.
bool StopCheckInstalled();

// Nonzero when the work in progress should end. The check itself is asked at most once every
// StopPollMs; in between, its last answer stands.
int32_t ShouldStop();

constexpr int32_t StopPollMs = 2;
