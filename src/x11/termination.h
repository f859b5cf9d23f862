#pragma once
// SIGTERM (and SIGINT, SIGHUP) as a flag that long work and the event wait both see at once.

#include <cstdint>

// Installs the handlers and the wake-up pipe.
void InstallTerminationSignals();
// Nonzero once a termination signal arrived.
int32_t TerminationRequested();
// Readable once a termination signal arrived: a wait on it wakes at once. -1 when there is none.
int TerminationWakeFd();
// Once everything is freed: when a termination signal arrived, dies of it, so that the host
// sees the death it asked for; otherwise returns.
void DieOfTerminationSignal();
