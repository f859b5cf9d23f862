#include "app/xscreensaver_entry.h"

#include "app/xscreensaver_list.h"

std::string EntryArguments(const ProgramOptions& options) {
    // With --defaults a setting at its default needs no word, and the page reads back only
    // the words it writes itself.
    std::string arguments = "--root --defaults";
    if (options.hasFolder) {
        arguments += " --folder " + ShellQuoted(options.folder);
    }
    if (options.hasDelay && options.delay != DefaultDelay) {
        arguments += " --delay " + std::to_string(options.delay);
    }
    if (options.hasMode && options.mode == 1) {
        arguments += " --mode collage";
    }
    if (options.hasSize && options.size != 0) {
        arguments += options.size == 1 ? " --size large" : " --size small";
    }
    if (options.hasPosition && options.position == 0) {
        arguments += " --position centered";
    }
    if (options.hasRandom && options.random) {
        arguments += " --random";
    }
    if (options.hasSubdirs && options.subdirs) {
        arguments += " --subdirs";
    }
    if (options.hasFormats && options.formats != DefaultFormats) {
        arguments += options.formats == 0 ? " --formats jpeg" : " --formats all";
    }
    return arguments;
}
