// Text helpers. Inside the program text is UTF-8; limits that the protocol and
// the file formats count in characters are counted in UTF-16 code units.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Vs5Platform {

// Converts UTF-8 to UTF-16 code units. Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

// Converts UTF-16 code units to UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Number of UTF-16 code units the UTF-8 text takes.
size_t Utf16Length(std::string_view utf8);

// Cuts the UTF-8 text after at most maxUnits UTF-16 code units, never inside
// a character. Used wherever a fixed-size wide buffer truncates a copy.
std::string TruncateUtf16(std::string_view utf8, size_t maxUnits);

// Cuts the UTF-8 text to at most maxBytes bytes, never inside a character.
std::string TruncateUtf8Bytes(std::string_view utf8, size_t maxBytes);

// Changes A-Z to a-z and nothing else.
std::string AsciiLower(std::string_view text);

bool EqualsNoCase(std::string_view a, std::string_view b);

// Removes blanks, tabs, CR and LF at both ends.
std::string_view TrimBlanks(std::string_view text);

// Splits a line into tokens the way the command line is split: separators are
// the characters of `separators`, runs of them count as one, and a token that
// begins with a double quote runs to the next double quote (the quotes are not
// part of the token) and may hold separators.
template <typename Fn>
void ForEachToken(std::string_view line, std::string_view separators, Fn&& fn) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && separators.find(line[i]) != std::string_view::npos)
            ++i;
        if (i >= line.size())
            break;
        std::string_view token;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos)
                end = line.size();
            token = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            size_t end = i;
            while (end < line.size() && separators.find(line[end]) == std::string_view::npos)
                ++end;
            token = line.substr(i, end - i);
            i = end;
        }
        if (!fn(token))
            break;
    }
}

}  // namespace Vs5Platform
