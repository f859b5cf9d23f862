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

// The list's entries as the daemon splits them: the resource's value with continuations
// joined, cut at each "\n".
std::vector<std::string> Entries(const std::vector<std::string>& lines, size_t first, size_t last) {
    std::string value = lines[first].substr(lines[first].find(':') + 1);
    for (size_t i = first; i <= last; ++i) {
        if (i > first) {
            value += lines[i];
        }
        if (i < last || Continues(lines[i])) {
            std::string trimmed = TrimEnd(value);
            value = trimmed.substr(0, trimmed.size() - 1);
        }
    }
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find("\\n", start);
        std::string entry = value.substr(start, end == std::string::npos ? end : end - start);
        size_t p = 0;
        while (p < entry.size() && IsBlank(entry[p])) {
            ++p;
        }
        if (p < entry.size()) {
            entries.push_back(entry.substr(p));
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    return entries;
}

// The file name of the program an entry runs: past "-", "visual:" and "\"Name\"".
std::string ProgramOf(const std::string& entry, bool* enabled) {
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
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
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

    std::vector<std::string> entries = Entries(lines, first, last);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (ProgramOf(entries[i], &enabled) == program) {
            edit.enabled = enabled ? 1 : 0;
            edit.position = static_cast<int32_t>(i + 1);
            return edit;
        }
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
