#include "platform/ini_file.h"

#include <climits>
#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace Vs5Platform {

IniFile IniFile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return IniFile();
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return Parse(buffer.str());
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    Section* current = nullptr;
    bool currentIsDuplicate = false;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        line = TrimBlanks(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            std::string name(TrimBlanks(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            current = nullptr;
            currentIsDuplicate = false;
            for (Section& s : ini.sections_) {
                if (EqualsNoCase(s.name, name)) {
                    // A repeated section adds nothing: its first occurrence wins.
                    currentIsDuplicate = true;
                    break;
                }
            }
            if (!currentIsDuplicate) {
                ini.sections_.push_back({name, {}});
                current = &ini.sections_.back();
            }
            continue;
        }
        if (current == nullptr)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string key(TrimBlanks(line.substr(0, eq)));
        std::string_view value = TrimBlanks(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        bool seen = false;
        for (auto& entry : current->entries)
            seen = seen || EqualsNoCase(entry.first, key);
        if (!seen)
            current->entries.emplace_back(std::move(key), std::string(value));
    }
    return ini;
}

const std::string* IniFile::Find(std::string_view section, std::string_view key) const {
    for (const Section& s : sections_) {
        if (!EqualsNoCase(s.name, section))
            continue;
        for (const auto& entry : s.entries)
            if (EqualsNoCase(entry.first, key))
                return &entry.second;
        return nullptr;
    }
    return nullptr;
}

bool IniFile::Has(std::string_view section, std::string_view key) const {
    return Find(section, key) != nullptr;
}

std::string IniFile::GetString(std::string_view section, std::string_view key, std::string_view def,
                               size_t maxUnits) const {
    const std::string* value = Find(section, key);
    std::string_view text = value ? std::string_view(*value) : def;
    return TruncateUtf16(text, maxUnits == 0 ? 0 : maxUnits - 1);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int def) const {
    const std::string* value = Find(section, key);
    return value ? ParseProfileInt(*value, def) : def;
}

int ParseProfileInt(std::string_view text, int def) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    long long value = 0;
    size_t digits = 0;
    for (; i < text.size(); ++i, ++digits) {
        char c = text[i];
        int d = c >= '0' && c <= '9'                 ? c - '0'
                : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
        if (d < 0)
            break;
        if (value < (1LL << 40))
            value = value * base + d;
    }
    if (digits == 0)
        return def;
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace Vs5Platform
