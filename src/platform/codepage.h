// Conversions between UTF-8 and the "ANSI" code page of the process. The code
// page is Windows-1252 unless the INI file names another one (for example 949);
// 65001 is UTF-8 itself.
#pragma once

#include <string>
#include <string_view>

namespace Vs5Platform {

constexpr int kDefaultAnsiCodePage = 1252;
constexpr int kUtf8CodePage = 65001;

int AnsiCodePage();
void SetAnsiCodePage(int codePage);

// Code pages 0 and 3 stand for the ANSI code page itself, as on Windows.

// Encodes UTF-8 text into the given code page. Characters the code page cannot
// hold become '?', as the Windows conversion does with its default character.
std::string Utf8ToCodePage(std::string_view utf8, int codePage);

// Decodes bytes in the given code page into UTF-8. Bytes that do not decode
// become U+FFFD. An unknown code page decodes as Windows-1252.
std::string CodePageToUtf8(std::string_view bytes, int codePage);

inline std::string Utf8ToAnsi(std::string_view utf8) {
    return Utf8ToCodePage(utf8, AnsiCodePage());
}
inline std::string AnsiToUtf8(std::string_view bytes) {
    return CodePageToUtf8(bytes, AnsiCodePage());
}

// True when iconv knows the code page.
bool IsKnownCodePage(int codePage);

// True when the code page is known and holds every printable ASCII character
// as the same single byte (not so for EBCDIC or UTF-16 pages).
bool IsAsciiCompatibleCodePage(int codePage);

}  // namespace Vs5Platform
