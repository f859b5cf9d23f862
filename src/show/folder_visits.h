#pragma once
// The folders one catalogue build has scanned, by identity: links back to a folder above, or
// several links to one place, would otherwise make the scan repeat itself without end.

#include <cstdint>

// Starts a build with nothing visited, and frees what the last one remembered.
void ForgetVisitedFolders();

// Nonzero when the folder is to be scanned: the first visit of its identity, or a folder whose
// identity cannot be read (it is then not remembered). Zero when it was scanned already.
int32_t FirstVisit(const char* folder);
