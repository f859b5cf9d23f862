#include "settings/registry_text.h"

#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace {

constexpr const char* Header = "REGEDIT4";
constexpr const char* Root = "HKEY_CURRENT_USER";
constexpr const char* ClassPrefix = "; class ";

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

// Reads a quoted text at line[pos]; pos ends after the closing quote.
bool Unquote(const std::string& line, size_t* pos, std::string* out) {
    if (*pos >= line.size() || line[*pos] != '"') {
        return false;
    }
    out->clear();
    for (size_t i = *pos + 1; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (++i >= line.size()) {
                return false;
            }
            c = line[i];
        }
        *out += c;
    }
    return false;
}

// A REG_SZ shown as a plain quoted text only when that text gives back the same bytes.
bool IsPlainString(const RegistryValue& value) {
    const auto& d = value.data;
    if (value.type != 1 || d.empty() || d.back() != 0) {
        return false;
    }
    for (size_t i = 0; i + 1 < d.size(); ++i) {
        if (d[i] < 0x20 || d[i] == 0x7f) {
            return false;
        }
    }
    return true;
}

void AppendHex(std::string* out, size_t prefixLength, const std::vector<uint8_t>& data) {
    size_t column = prefixLength;
    for (size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        *out += byte;
        column += 2;
        if (i + 1 < data.size()) {
            *out += ',';
            ++column;
            if (column > 76) {
                *out += "\\\n  ";
                column = 2;
            }
        }
    }
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* out) {
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        if (i >= text.size()) {
            break;
        }
        unsigned value = 0;
        int digits = 0;
        while (i < text.size() && digits < 3) {
            const char c = Lower(text[i]);
            if (c >= '0' && c <= '9') {
                value = value * 16 + static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value = value * 16 + static_cast<unsigned>(c - 'a' + 10);
            } else {
                break;
            }
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 2) {
            return false;
        }
        out->push_back(static_cast<uint8_t>(value));
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        if (i < text.size()) {
            if (text[i] != ',') {
                return false;
            }
            ++i;
        }
    }
    return true;
}

bool ParseData(const std::string& text, RegistryValue* value) {
    if (!text.empty() && text[0] == '"') {
        size_t pos = 0;
        std::string s;
        if (!Unquote(text, &pos, &s) || pos != text.size()) {
            return false;
        }
        value->type = 1;
        value->data.assign(s.begin(), s.end());
        value->data.push_back(0);
        return true;
    }
    if (text.compare(0, 6, "dword:") == 0) {
        const std::string digits = text.substr(6);
        if (digits.size() != 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return false;
        }
        const auto number = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
        value->type = 4;
        value->data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                       static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        return true;
    }
    if (text.compare(0, 4, "hex:") == 0) {
        value->type = 3;
        return ParseHexBytes(text.substr(4), &value->data);
    }
    if (text.compare(0, 4, "hex(") == 0) {
        const size_t close = text.find("):", 4);
        const std::string typeText = text.substr(4, close == std::string::npos ? 0 : close - 4);
        if (close == std::string::npos || typeText.empty() || typeText.size() > 8 ||
            typeText.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return false;
        }
        value->type = static_cast<uint32_t>(std::strtoul(typeText.c_str(), nullptr, 16));
        return ParseHexBytes(text.substr(close + 2), &value->data);
    }
    return false;
}

// The next logical line at *pos: CR dropped, a trailing backslash joins the next line. False
// at the end of the text.
bool NextLogicalLine(const std::string& text, size_t* pos, std::string* current) {
    if (*pos > text.size()) {
        return false;
    }
    current->clear();
    bool continued = false;
    while (*pos <= text.size()) {
        size_t end = text.find('\n', *pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        size_t start = *pos;
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') {
            --stop;
        }
        if (continued) {
            while (start < stop && (text[start] == ' ' || text[start] == '\t')) {
                ++start;
            }
        }
        current->append(text, start, stop - start);
        *pos = end + 1;
        // Only hex lists wrap: a quoted text always ends in its quote, a key in its bracket.
        continued = !current->empty() && current->back() == '\\' && (*current)[0] != ';' &&
                    (*current)[0] != '[';
        if (!continued) {
            return true;
        }
        current->pop_back();
    }
    return true;
}

std::string Folded(const std::string& text) {
    std::string out(text);
    for (char& c : out) {
        c = Lower(c);
    }
    return out;
}

}  // namespace

RegistryKey* RegistryText::FindKey(const std::string& path) {
    for (auto& key : keys) {
        if (SameText(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

bool RegistryText::HasSubkeys(const std::string& path) const {
    const std::string prefix = path + "\\";
    for (const auto& key : keys) {
        if (key.path.size() > prefix.size() &&
            SameText(key.path.substr(0, prefix.size()), prefix)) {
            return true;
        }
    }
    return false;
}

RegistryKey& RegistryText::AddKey(const std::string& path, const std::string& keyClass) {
    for (size_t sep = path.find('\\'); sep != std::string::npos; sep = path.find('\\', sep + 1)) {
        const std::string parent = path.substr(0, sep);
        if (!FindKey(parent)) {
            keys.push_back(RegistryKey{parent, "", {}});
        }
    }
    if (RegistryKey* existing = FindKey(path)) {
        return *existing;
    }
    keys.push_back(RegistryKey{path, keyClass, {}});
    return keys.back();
}

void RegistryText::RemoveKey(const std::string& path) {
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (SameText(it->path, path)) {
            keys.erase(it);
            return;
        }
    }
}

RegistryValue* FindValue(RegistryKey& key, const std::string& name) {
    for (auto& value : key.values) {
        if (SameText(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

bool ParseRegistryText(const std::string& text, RegistryText* out) {
    RegistryText parsed;
    size_t pos = 0;
    std::string line;
    bool found = false;
    while (NextLogicalLine(text, &pos, &line)) {
        if (!line.empty()) {
            found = line == Header;
            break;
        }
    }
    if (!found) {
        return false;
    }
    // Sets of the folded names seen so far keep the duplicate checks linear in the text.
    std::unordered_set<std::string> paths;
    std::unordered_set<std::string> names;
    RegistryKey* key = nullptr;
    bool classAllowed = false;
    while (NextLogicalLine(text, &pos, &line)) {
        if (line.empty()) {
            continue;
        }
        if (line[0] == '[') {
            const std::string prefix = std::string("[") + Root + "\\";
            if (line.back() != ']' || line.size() <= prefix.size() + 1 ||
                !SameText(line.substr(0, prefix.size()), prefix)) {
                return false;
            }
            const std::string path = line.substr(prefix.size(), line.size() - prefix.size() - 1);
            if (!paths.insert(Folded(path)).second) {
                return false;
            }
            parsed.keys.push_back(RegistryKey{path, "", {}});
            key = &parsed.keys.back();
            names.clear();
            classAllowed = true;
            continue;
        }
        if (line.compare(0, std::strlen(ClassPrefix), ClassPrefix) == 0 && classAllowed) {
            size_t at = std::strlen(ClassPrefix);
            if (!Unquote(line, &at, &key->keyClass) || at != line.size()) {
                return false;
            }
            classAllowed = false;
            continue;
        }
        classAllowed = false;
        if (line[0] == ';') {
            continue;
        }
        if (!key) {
            return false;
        }
        RegistryValue value;
        size_t at = 0;
        if (line[0] == '@') {
            at = 1;
        } else if (!Unquote(line, &at, &value.name)) {
            return false;
        }
        if (at >= line.size() || line[at] != '=' || !ParseData(line.substr(at + 1), &value)) {
            return false;
        }
        if (!names.insert(Folded(value.name)).second) {
            return false;
        }
        key->values.push_back(std::move(value));
    }
    *out = std::move(parsed);
    return true;
}

std::string FormatRegistryText(const RegistryText& registry) {
    std::string out = std::string(Header) + "\n";
    for (const auto& key : registry.keys) {
        out += "\n[" + std::string(Root) + "\\" + key.path + "]\n";
        if (!key.keyClass.empty()) {
            out += ClassPrefix + Quote(key.keyClass) + "\n";
        }
        for (const auto& value : key.values) {
            std::string line = value.name.empty() ? "@=" : Quote(value.name) + "=";
            if (IsPlainString(value)) {
                line += Quote(std::string(value.data.begin(), value.data.end() - 1));
            } else if (value.type == 4 && value.data.size() == 4) {
                char number[16];
                const uint32_t n = static_cast<uint32_t>(value.data[0]) |
                                   static_cast<uint32_t>(value.data[1]) << 8 |
                                   static_cast<uint32_t>(value.data[2]) << 16 |
                                   static_cast<uint32_t>(value.data[3]) << 24;
                std::snprintf(number, sizeof number, "dword:%08x", n);
                line += number;
            } else {
                if (value.type == 3) {
                    line += "hex:";
                } else {
                    char prefix[24];
                    std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
                    line += prefix;
                }
                AppendHex(&line, line.size(), value.data);
            }
            out += line + "\n";
        }
    }
    return out;
}
