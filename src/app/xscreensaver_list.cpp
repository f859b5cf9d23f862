#include "app/xscreensaver_list.h"

#include <vector>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string TrimEnd(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && (IsBlank(text[end - 1]) || text[end - 1] == '\r')) {
        --end;
    }
    return text.substr(0, end);
}

bool Continues(const std::string& line) {
    std::string trimmed = TrimEnd(line);
    return !trimmed.empty() && trimmed.back() == '\\';
}

// The physical lines [first, last] of the resource `programs` ("*programs" in app-defaults);
// false when there is none.
bool FindPrograms(const std::vector<std::string>& lines, size_t* first, size_t* last) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        size_t p = line[0] == '*' ? 1 : 0;
        if (line.compare(p, 8, "programs") != 0) {
            continue;
        }
        p += 8;
        while (p < line.size() && IsBlank(line[p])) {
            ++p;
        }
        if (p >= line.size() || line[p] != ':') {
            continue;
        }
        *first = i;
        size_t end = i;
        while (end + 1 < lines.size() && Continues(lines[end])) {
            ++end;
        }
        *last = end;
        return true;
    }
    return false;
}

// Where a character of the list's value stands in the file.
struct Place {
    size_t line;
    size_t column;
};

// One entry as the daemon splits the list, and where each of its characters stands.
struct ListEntry {
    std::string text;           // from its first non-blank to the "\n" ending it
    std::vector<Place> places;  // of each character of text
};

// The list's entries: the resource's value with continuations joined, cut at each "\n".
std::vector<ListEntry> Entries(const std::vector<std::string>& lines, size_t first, size_t last) {
    std::string value;
    std::vector<Place> places;
    for (size_t i = first; i <= last; ++i) {
        size_t from = i == first ? lines[first].find(':') + 1 : 0;
        std::string part = lines[i].substr(from);
        if (i < last || Continues(lines[i])) {
            part = TrimEnd(part);
            part.pop_back();
        }
        value += part;
        for (size_t k = 0; k < part.size(); ++k) {
            places.push_back({i, from + k});
        }
    }
    std::vector<ListEntry> entries;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find("\\n", start);
        end = end == std::string::npos ? value.size() : end;
        size_t p = start;
        while (p < end && IsBlank(value[p])) {
            ++p;
        }
        if (p < end) {
            entries.push_back(
                {value.substr(p, end - p),
                 std::vector<Place>(places.begin() + static_cast<std::ptrdiff_t>(p),
                                    places.begin() + static_cast<std::ptrdiff_t>(end))});
        }
        start = end + 2;
    }
    return entries;
}

// The command as the shell splits it, whatever the settings tool's wrapping added: a run of
// blanks holding a tab counts as one space.
std::string Unwrapped(const std::string& command) {
    std::string out;
    for (size_t i = 0; i < command.size();) {
        size_t run = i;
        bool tab = false;
        while (run < command.size() && IsBlank(command[run])) {
            tab = tab || command[run] == '\t';
            ++run;
        }
        if (tab) {
            out += ' ';
            i = run;
        } else {
            out += command[i++];
        }
    }
    return out;
}

// The file name of the program an entry runs: past "-", "visual:" and "\"Name\"". *start is
// where the command begins.
std::string ProgramOf(const std::string& entry, bool* enabled, size_t* start = nullptr) {
    size_t p = 0;
    *enabled = true;
    if (p < entry.size() && entry[p] == '-') {
        *enabled = false;
        ++p;
    }
    while (p < entry.size() && IsBlank(entry[p])) {
        ++p;
    }
    size_t word = p;
    while (word < entry.size() && !IsBlank(entry[word]) && entry[word] != ':') {
        ++word;
    }
    if (word < entry.size() && entry[word] == ':') {
        p = word + 1;
        while (p < entry.size() && IsBlank(entry[p])) {
            ++p;
        }
    }
    if (p < entry.size() && entry[p] == '"') {
        size_t close = entry.find('"', p + 1);
        p = close == std::string::npos ? entry.size() : close + 1;
        while (p < entry.size() && IsBlank(entry[p])) {
            ++p;
        }
    }
    if (start) {
        *start = p;
    }
    size_t end = p;
    if (p < entry.size() && entry[p] == '\'') {
        size_t close = entry.find('\'', p + 1);
        end = close == std::string::npos ? entry.size() : close + 1;
    }
    while (end < entry.size() && !IsBlank(entry[end])) {
        ++end;
    }
    std::string program = entry.substr(p, end - p);
    if (program.size() >= 2 && program.front() == '\'' && program.back() == '\'') {
        program = program.substr(1, program.size() - 2);
    }
    size_t slash = program.rfind('/');
    return slash == std::string::npos ? program : program.substr(slash + 1);
}

std::string Joined(const std::vector<std::string>& lines, bool endsInNewline) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size() || endsInNewline) {
            text += '\n';
        }
    }
    return text;
}

}  // namespace

std::string ShellQuoted(const std::string& word) {
    bool plain = !word.empty();
    for (char c : word) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '/' || c == '.' || c == '_' || c == '-' || c == '+';
        plain = plain && ok;
    }
    if (plain) {
        return word;
    }
    std::string quoted = "'";
    for (char c : word) {
        // No backslash: the preferences file gives backslashes meanings of its own.
        quoted += c == '\'' ? std::string("'\"'\"'") : std::string(1, c);
    }
    return quoted + "'";
}

ProgramsListEdit AddToProgramsList(const std::string& userText, const std::string& systemText,
                                   const std::string& prettyName, const std::string& command) {
    ProgramsListEdit edit;
    edit.text = userText;
    std::vector<std::string> lines = SplitLines(userText);
    bool endsInNewline = userText.empty() || userText.back() == '\n';
    bool enabled = true;
    std::string program = ProgramOf(command, &enabled);
    size_t first = 0;
    size_t last = 0;
    if (!FindPrograms(lines, &first, &last)) {
        // The system list first, as the daemon would have shown it.
        std::vector<std::string> system = SplitLines(systemText);
        size_t systemFirst = 0;
        size_t systemLast = 0;
        if (!lines.empty() && !TrimEnd(lines.back()).empty()) {
            lines.push_back("");
        }
        first = lines.size();
        if (FindPrograms(system, &systemFirst, &systemLast)) {
            for (size_t i = systemFirst; i <= systemLast; ++i) {
                lines.push_back(system[i]);
            }
            if (lines[first][0] == '*') {
                lines[first].erase(0, 1);
            }
        } else {
            lines.push_back("programs:\t\\");
        }
        last = lines.size() - 1;
        endsInNewline = true;
    }

    std::vector<ListEntry> entries = Entries(lines, first, last);
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t begin = 0;
        const std::string& text = entries[i].text;
        if (ProgramOf(text, &enabled, &begin) != program) {
            continue;
        }
        edit.enabled = enabled ? 1 : 0;
        edit.position = static_cast<int32_t>(i + 1);
        size_t end = TrimEnd(text).size();
        edit.previous = text.substr(begin, end - begin);
        if (Unwrapped(edit.previous) == Unwrapped(command)) {
            return edit;
        }
        // Only the command changes: the entry keeps its name, visual, switch and place, and
        // the lines around it stay as they were. An entry the settings tool wrapped becomes
        // one line again.
        const Place from = entries[i].places[0];
        const Place to = entries[i].places[end - 1];
        lines[from.line] = lines[from.line].substr(0, from.column) +
                           Unwrapped(text.substr(0, begin)) + command +
                           lines[to.line].substr(to.column + 1);
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(from.line) + 1,
                    lines.begin() + static_cast<std::ptrdiff_t>(to.line) + 1);
        edit.text = Joined(lines, endsInNewline);
        edit.replaced = 1;
        return edit;
    }

    // As the settings tool writes an entry: name, command, and "\n" ending the entry.
    std::string entry = "\t\t\t\t\"" + prettyName + "\" " + command + "\t\t\t    \\n";
    std::string tail = TrimEnd(lines[last]);
    if (tail.empty()) {
        // A blank line closes the list: the entry goes before it, continued.
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last), entry + "\\");
    } else {
        if (tail.back() == '\\') {
            tail = TrimEnd(tail.substr(0, tail.size() - 1));
        }
        bool endsEntry = tail.size() >= 2 && tail.compare(tail.size() - 2, 2, "\\n") == 0;
        bool emptyValue = !tail.empty() && tail.back() == ':';
        lines[last] = tail + (endsEntry ? "\\" : emptyValue ? "\t\\" : "\t\\n\\");
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last) + 1, entry);
    }
    edit.text = Joined(lines, endsInNewline);
    edit.added = 1;
    edit.position = static_cast<int32_t>(entries.size() + 1);
    return edit;
}
