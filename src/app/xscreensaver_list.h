#pragma once
// The programs: list of an XScreenSaver preferences file (~/.xscreensaver), edited as text so
// that every other line stays as the user or the settings tool wrote it.

#include <cstdint>
#include <string>

struct ProgramsListEdit {
    std::string text;      // the file after the edit; the same text when nothing changed
    int32_t added = 0;     // nonzero when the entry was added
    int32_t replaced = 0;  // nonzero when an entry of ours got the new command
    std::string previous;  // the command an entry of ours had, when there was one
    int32_t enabled = 1;   // zero when an existing entry is switched off ("-" before it)
    int32_t position = 0;  // the entry's number in the list, as xscreensaver-command -select
                           // counts (from 1)
};

// Puts an entry running `command` at the end of the programs: list of `userText`; when the list
// holds an entry of the same program (by its file name) already, the first such entry gets the
// command instead, unless it runs the same. A file without the list gets the system list of
// `systemText` (the app-defaults file) first, so no saver goes missing.
ProgramsListEdit AddToProgramsList(const std::string& userText, const std::string& systemText,
                                   const std::string& prettyName, const std::string& command);

// The word as the shell reads it back: quoted only when it holds more than plain path
// characters.
std::string ShellQuoted(const std::string& word);
