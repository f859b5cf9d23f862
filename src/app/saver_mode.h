#pragma once
// The run mode that the command line selects, and its parser.

#include <cstdint>

enum SaverMode : int32_t {
    NoMode = 0,
    Configure = 1,
    ChangePassword = 2,
    Preview = 3,
    Saver = 4,
    Clean = 5,
};

struct CommandLine {
    SaverMode mode;
    int32_t handle;            // window number from the command line, 0 where none
    bool useForegroundWindow;  // a bare "c": the owner is the foreground window
};

// Parses the whole command line, program path included.
CommandLine ParseCommandLine(const char* line);

// atoi as the command line reads it: white space, an optional sign, digits, 32-bit wrap.
int32_t ReadNumber(const char* text);
