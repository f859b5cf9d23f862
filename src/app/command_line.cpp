#include <cstring>
#include "app/saver_mode.h"

namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Blanks and colons may stand between a switch letter and its number, in any mix.
const char* SkipBlanksAndColons(const char* p) {
    while (*p == ' ' || *p == ':') {
        ++p;
    }
    return p;
}

}  // namespace

int32_t ReadNumber(const char* text) {
    const char* p = text;
    while (IsWhiteSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    uint32_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10u + static_cast<uint32_t>(*p - '0');
        ++p;
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int32_t>(value);
}

CommandLine ParseCommandLine(const char* line) {
    CommandLine result = {NoMode, 0, false};
    const char* p = line ? line : "";

    // The program path: quoted up to the next quote, otherwise up to the first blank.
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            ++p;
        }
    } else {
        while (*p != '\0' && *p != ' ') {
            ++p;
        }
    }
    if (*p != '\0') {
        ++p;
    }
    while (*p == ' ') {
        ++p;
    }
    if (*p == '\0') {
        result.mode = Configure;
        return result;
    }
    if (*p == '-' || *p == '/') {
        ++p;
    }

    switch (*p) {
        case 's':
        case 'S':
            result.mode = Saver;
            break;
        case 'p':
        case 'P':
        case 'l':
        case 'L':
            result.mode = Preview;
            result.handle = ReadNumber(SkipBlanksAndColons(p + 1));
            break;
        case 'c':
        case 'C':
            p = SkipBlanksAndColons(p + 1);
            result.mode = Configure;
            if (*p == '\0') {
                result.useForegroundWindow = true;
            } else {
                result.handle = ReadNumber(p);
            }
            break;
        case 'a':
        case 'A':
            result.mode = ChangePassword;
            result.handle = ReadNumber(SkipBlanksAndColons(p + 1));
            break;
        default:
            if (std::strcmp(p, "klean") == 0) {
                result.mode = Clean;
            }
            break;
    }
    return result;
}
