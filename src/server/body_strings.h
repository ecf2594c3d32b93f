// The three strings of a request body. Encoding 400 carries UTF-16LE strings
// from offset 36, viewed in place; encoding 401 carries a code page at offset
// 36 and multibyte strings from offset 40, converted into one buffer owned by
// the reader. Any other encoding carries no strings.
//
// Every string is bounded by the end of the frame: one that lacks its NUL
// ends with the frame, and one that starts past the end is empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Vs5Server {

class BodyStringReader {
public:
    // `frame` is the whole request, header included; `length` its size.
    BodyStringReader(const uint8_t* frame, size_t length);
    BodyStringReader(const BodyStringReader&) = delete;
    BodyStringReader& operator=(const BodyStringReader&) = delete;

    // False for an encoding without strings, and for a code page the system
    // cannot convert from.
    bool hasStrings() const { return hasStrings_; }
    uint32_t encoding() const { return encoding_; }
    int codePage() const { return codePage_; }  // 0 unless encoding 401

    std::u16string_view first() const { return strings_[0]; }
    std::u16string_view second() const { return strings_[1]; }
    std::u16string_view third() const { return strings_[2]; }

private:
    void ReadUtf16(const uint8_t* frame, size_t length);
    void ReadCodePage(const uint8_t* frame, size_t length);

    uint32_t encoding_ = 0;
    int codePage_ = 0;
    bool hasStrings_ = false;
    std::u16string converted_;  // the three strings one after the other, with NULs
    std::u16string_view strings_[3];
};

}  // namespace Vs5Server
