#include "app/options.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// One word of a choice and the setting value it stands for.
struct Choice {
    const char* word;
    int32_t value;
};

constexpr Choice ModeChoices[] = {{"slide", 0}, {"collage", 1}};
constexpr Choice SizeChoices[] = {{"full", 0}, {"large", 1}, {"small", 2}};
constexpr Choice PositionChoices[] = {{"centered", 0}, {"scattered", 1}};
constexpr Choice FormatsChoices[] = {{"jpeg", 0}, {"all", 1}};

enum OptionId : int32_t {
    OptionHelp,
    OptionVersion,
    OptionAddToXScreenSaver,
    OptionRoot,
    OptionWindow,
    OptionWindowId,
    OptionFolder,
    OptionDelay,
    OptionMode,
    OptionSize,
    OptionPosition,
    OptionRandom,
    OptionNoRandom,
    OptionSubdirs,
    OptionNoSubdirs,
    OptionFormats,
    OptionDefaults,
    OptionSave,
    OptionIgnored,  // hosts may pass it; it changes nothing here
};

struct OptionSpec {
    const char* name;
    OptionId id;
    bool takesValue;
};

constexpr OptionSpec Options[] = {
    {"help", OptionHelp, false},         {"h", OptionHelp, false},
    {"version", OptionVersion, false},   {"add-to-xscreensaver", OptionAddToXScreenSaver, false},
    {"root", OptionRoot, false},         {"window", OptionWindow, false},
    {"window-id", OptionWindowId, true}, {"folder", OptionFolder, true},
    {"delay", OptionDelay, true},        {"mode", OptionMode, true},
    {"size", OptionSize, true},          {"position", OptionPosition, true},
    {"random", OptionRandom, false},     {"no-random", OptionNoRandom, false},
    {"subdirs", OptionSubdirs, false},   {"no-subdirs", OptionNoSubdirs, false},
    {"defaults", OptionDefaults, false}, {"save", OptionSave, false},
    {"fps", OptionIgnored, false},       {"no-fps", OptionIgnored, false},
    {"install", OptionIgnored, false},   {"noinstall", OptionIgnored, false},
    {"mono", OptionIgnored, false},      {"visual", OptionIgnored, true},
    {"formats", OptionFormats, true},
};

const OptionSpec* FindOption(const char* name) {
    for (const OptionSpec& spec : Options) {
        if (std::strcmp(name, spec.name) == 0) {
            return &spec;
        }
    }
    return nullptr;
}

// Fills the refusal message; answers zero, for `return Refuse(...)`.
__attribute__((format(printf, 2, 3))) int32_t Refuse(ProgramOptions* options, const char* format,
                                                     ...) {
    int used = std::snprintf(options->error, sizeof options->error, "fotovane: ");
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(options->error + used, sizeof options->error - used, format, arguments);
    va_end(arguments);
    return 0;
}

template <size_t N>
bool ReadChoice(const char* word, const Choice (&choices)[N], int32_t* value) {
    for (const Choice& choice : choices) {
        if (std::strcmp(word, choice.word) == 0) {
            *value = choice.value;
            return true;
        }
    }
    return false;
}

// A whole number of seconds from 1 on, as the settings page allows: a delay of 0 would put a
// new picture on every tick, which no page can ask for.
bool ReadDelay(const char* text, int32_t* delay) {
    if (*text < '0' || *text > '9') {
        return false;
    }
    int64_t value = 0;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') {
            return false;
        }
        value = value * 10 + (*text - '0');
        if (value > INT32_MAX) {
            return false;
        }
    }
    if (value < 1) {
        return false;
    }
    *delay = static_cast<int32_t>(value);
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

const char* const HelpText =
    "usage: fotovane [-root | -window-id ID | -window] [SETTINGS] [--defaults] [--save]\n"
    "       fotovane --add-to-xscreensaver | --help | --version\n"
    "\n"
    "Shows the pictures of a folder: full screen by itself, or as the screen saver of\n"
    "XScreenSaver or xsecurelock.\n"
    "\n"
    "Where it shows:\n"
    "  (nothing)              full screen on every monitor until a key, click or mouse move\n"
    "  -window                in an ordinary window, to try settings\n"
    "  -root                  in $XSCREENSAVER_WINDOW, as the screen-saver hosts run it\n"
    "  -window-id ID          in the window ID (0x... or decimal)\n"
    "\n"
    "Settings for this run; the stored ones stand for those not given:\n"
    "  --folder DIR           the picture folder (default: your pictures folder)\n"
    "  --delay SECONDS        seconds from one picture to the next, 1 or more (default 10)\n"
    "  --mode slide|collage   one picture at a time, or each over the last (default slide)\n"
    "  --size full|large|small              (default full)\n"
    "  --position centered|scattered        (default scattered)\n"
    "  --random, --no-random  shuffled or in folder order (default in order)\n"
    "  --subdirs, --no-subdirs              with or without subfolders (default without)\n"
    "  --formats all|jpeg     JPEG, PNG, WebP and HEIC (the default), or only files named\n"
    "                         *.jpg or *.jpeg, in any case\n"
    "  --defaults             settings not given take their defaults, not the stored ones\n"
    "                         (so XScreenSaver's settings page decides everything)\n"
    "  --save                 keeps this run's settings for later runs and xsecurelock\n"
    "\n"
    "  --add-to-xscreensaver  adds Fotovane to the screen savers in ~/.xscreensaver, showing\n"
    "                         the settings given with it; run again, it changes that entry\n"
    "                         alone (fotovane --folder ~/Photos --add-to-xscreensaver)\n"
    "\n"
    "Stored settings: $XDG_CONFIG_HOME/fotovane/registry.reg (default ~/.config).\n";

int32_t ParseWindowId(const char* text, unsigned long* id) {
    while (IsBlank(*text)) {
        ++text;
    }
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (!*text || *text == '-' || *text == '+' || IsBlank(*text)) {
        return 0;
    }
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, base);
    while (IsBlank(*end)) {
        ++end;
    }
    if (*end || value == 0) {
        return 0;
    }
    *id = value;
    return 1;
}

int32_t ParseOptions(int argc, const char* const* argv, ProgramOptions* options) {
    bool root = false;
    bool ownWindow = false;
    bool windowId = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') {
            return Refuse(options, "'%s' is not an option; fotovane --help lists them", arg);
        }
        // Single and double dash spell the same option.
        const char* name = arg[1] == '-' ? arg + 2 : arg + 1;
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const OptionSpec* spec = FindOption(name);
        if (!spec) {
            return Refuse(options, "unknown option '%s'; fotovane --help lists the options", arg);
        }
        if (spec->takesValue) {
            if (!value) {
                return Refuse(options, "%s needs a value", arg);
            }
            ++i;
        }
        switch (spec->id) {
            case OptionHelp:
                options->action = ActionHelp;
                return 1;
            case OptionVersion:
                options->action = ActionVersion;
                return 1;
            case OptionAddToXScreenSaver:
                options->action = ActionAddToXScreenSaver;
                break;
            case OptionRoot:
                root = true;
                break;
            case OptionWindow:
                ownWindow = true;
                break;
            case OptionWindowId:
                if (!ParseWindowId(value, &options->windowId)) {
                    return Refuse(options, "%s: '%s' is not a window id", arg, value);
                }
                windowId = true;
                break;
            case OptionFolder:
                if (!*value) {
                    return Refuse(options, "%s: the folder name is empty", arg);
                }
                if (std::strlen(value) >= static_cast<size_t>(MaxPath)) {
                    return Refuse(options, "%s: the folder name is longer than %d bytes", arg,
                                  MaxPath - 1);
                }
                std::strcpy(options->folder, value);
                options->hasFolder = true;
                break;
            case OptionDelay:
                if (!ReadDelay(value, &options->delay)) {
                    return Refuse(options, "%s: '%s' is not a whole number of seconds, 1 or more",
                                  arg, value);
                }
                options->hasDelay = true;
                break;
            case OptionMode:
                if (!ReadChoice(value, ModeChoices, &options->mode)) {
                    return Refuse(options, "%s: '%s' is not slide or collage", arg, value);
                }
                options->hasMode = true;
                break;
            case OptionSize:
                if (!ReadChoice(value, SizeChoices, &options->size)) {
                    return Refuse(options, "%s: '%s' is not full, large or small", arg, value);
                }
                options->hasSize = true;
                break;
            case OptionPosition:
                if (!ReadChoice(value, PositionChoices, &options->position)) {
                    return Refuse(options, "%s: '%s' is not centered or scattered", arg, value);
                }
                options->hasPosition = true;
                break;
            case OptionRandom:
            case OptionNoRandom:
                options->hasRandom = true;
                options->random = spec->id == OptionRandom;
                break;
            case OptionSubdirs:
            case OptionNoSubdirs:
                options->hasSubdirs = true;
                options->subdirs = spec->id == OptionSubdirs;
                break;
            case OptionFormats:
                if (!ReadChoice(value, FormatsChoices, &options->formats)) {
                    return Refuse(options, "%s: '%s' is not all or jpeg", arg, value);
                }
                options->hasFormats = true;
                break;
            case OptionDefaults:
                options->defaults = true;
                break;
            case OptionSave:
                options->save = true;
                break;
            case OptionIgnored:
                break;
        }
    }
    options->place = windowId    ? PlaceWindowId
                     : root      ? PlaceRoot
                     : ownWindow ? PlaceOwnWindow
                                 : PlaceStandalone;
    return 1;
}

void ApplyOptions(const ProgramOptions& options, SaverSettings* settings) {
    if (options.hasFolder) {
        std::strcpy(settings->path, options.folder);
    }
    if (options.hasDelay) {
        settings->delay = options.delay;
    }
    if (options.hasMode) {
        settings->mode = options.mode;
    }
    if (options.hasSize) {
        settings->size = options.size;
    }
    if (options.hasPosition) {
        settings->position = options.position;
    }
    if (options.hasRandom) {
        settings->random = options.random;
    }
    if (options.hasSubdirs) {
        settings->subdirs = options.subdirs;
    }
    if (options.hasFormats) {
        settings->formats = options.formats;
    }
}

int32_t UnwrapFolder(const char* folder, char* unwrapped) {
    int32_t changed = 0;
    size_t out = 0;
    for (size_t i = 0; folder[i] && out + 1 < static_cast<size_t>(MaxPath);) {
        size_t run = 0;
        bool tab = false;
        while (IsBlank(folder[i + run])) {
            tab = tab || folder[i + run] == '\t';
            ++run;
        }
        if (run >= 3 && tab) {
            unwrapped[out++] = ' ';
            i += run;
            changed = 1;
        } else if (run > 0) {
            for (size_t k = 0; k < run && out + 1 < static_cast<size_t>(MaxPath); ++k) {
                unwrapped[out++] = folder[i++];
            }
        } else {
            unwrapped[out++] = folder[i++];
        }
    }
    unwrapped[out] = '\0';
    return changed;
}
