#include "app/options.h"

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

// Options that hosts may pass and that change nothing here; "visual" takes a value.
constexpr const char* IgnoredFlags[] = {"fps", "no-fps", "install", "noinstall", "mono"};

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
    *delay = static_cast<int32_t>(value);
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

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
            return 0;
        }
        // Single and double dash spell the same option.
        const char* name = arg[1] == '-' ? arg + 2 : arg + 1;
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool known = true;
        bool takesValue = false;
        bool valueOk = true;
        if (std::strcmp(name, "root") == 0) {
            root = true;
        } else if (std::strcmp(name, "window") == 0) {
            ownWindow = true;
        } else if (std::strcmp(name, "window-id") == 0) {
            takesValue = true;
            valueOk = value && ParseWindowId(value, &options->windowId);
            windowId = true;
        } else if (std::strcmp(name, "folder") == 0) {
            takesValue = true;
            valueOk = value && *value && std::strlen(value) < MaxPath;
            if (valueOk) {
                std::strcpy(options->folder, value);
                options->hasFolder = true;
            }
        } else if (std::strcmp(name, "delay") == 0) {
            takesValue = true;
            valueOk = value && ReadDelay(value, &options->delay);
            options->hasDelay = true;
        } else if (std::strcmp(name, "mode") == 0) {
            takesValue = true;
            valueOk = value && ReadChoice(value, ModeChoices, &options->mode);
            options->hasMode = true;
        } else if (std::strcmp(name, "size") == 0) {
            takesValue = true;
            valueOk = value && ReadChoice(value, SizeChoices, &options->size);
            options->hasSize = true;
        } else if (std::strcmp(name, "position") == 0) {
            takesValue = true;
            valueOk = value && ReadChoice(value, PositionChoices, &options->position);
            options->hasPosition = true;
        } else if (std::strcmp(name, "formats") == 0) {
            takesValue = true;
            valueOk = value && ReadChoice(value, FormatsChoices, &options->formats);
            options->hasFormats = true;
        } else if (std::strcmp(name, "random") == 0 || std::strcmp(name, "no-random") == 0) {
            options->hasRandom = true;
            options->random = name[0] == 'r';
        } else if (std::strcmp(name, "subdirs") == 0 || std::strcmp(name, "no-subdirs") == 0) {
            options->hasSubdirs = true;
            options->subdirs = name[0] == 's';
        } else if (std::strcmp(name, "save") == 0) {
            options->save = true;
        } else if (std::strcmp(name, "visual") == 0) {
            takesValue = true;
            valueOk = value != nullptr;
        } else {
            known = false;
            for (const char* ignored : IgnoredFlags) {
                known = known || std::strcmp(name, ignored) == 0;
            }
        }
        if (!known || !valueOk) {
            return 0;
        }
        if (takesValue) {
            ++i;
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
