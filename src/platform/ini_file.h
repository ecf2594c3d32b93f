// INI file reader with the semantics of the Windows private-profile functions:
// section and key names compare case-insensitively, the first occurrence of a
// section or key wins, values are trimmed and lose one pair of surrounding
// double quotes, and integers read a leading sign and digits or fall back to
// the default. The file is UTF-8; a byte-order mark is skipped.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Vs5Platform {

class IniFile {
public:
    IniFile() = default;

    // Reads the file; a missing or unreadable file gives an empty IniFile.
    static IniFile Load(const std::string& path);
    static IniFile Parse(std::string_view text);

    bool Has(std::string_view section, std::string_view key) const;

    // The value of the key, cut to at most maxUnits UTF-16 code units less one
    // (the buffer's terminator), or `def` when the key is absent.
    std::string GetString(std::string_view section, std::string_view key, std::string_view def,
                          size_t maxUnits = 4096) const;

    int GetInt(std::string_view section, std::string_view key, int def) const;

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    const std::string* Find(std::string_view section, std::string_view key) const;

    std::vector<Section> sections_;
};

// Reads an integer as the private-profile functions do: optional blanks, an
// optional sign, then decimal digits (or "0x" and hex digits); anything else
// yields `def`. Values beyond 32 bits saturate.
int ParseProfileInt(std::string_view text, int def);

}  // namespace Vs5Platform
