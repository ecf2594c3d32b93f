#include "server/body_strings.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/text.h"
#include "server/frame.h"

namespace Vs5Server {

BodyStringReader::BodyStringReader(const uint8_t* frame, size_t length) {
    if (length < kRequestHeaderSize)
        return;
    encoding_ = ReadU32(frame + 4);
    if (encoding_ == kEncodingUtf16)
        ReadUtf16(frame, length);
    else if (encoding_ == kEncodingCodePage)
        ReadCodePage(frame, length);
}

void BodyStringReader::ReadUtf16(const uint8_t* frame, size_t length) {
    const uint8_t* body = frame + kRequestHeaderSize;
    size_t units = (length - kRequestHeaderSize) / 2;
    if (reinterpret_cast<uintptr_t>(body) % alignof(char16_t) != 0) {
        // Not viewable in place: take a copy so the views stay well aligned.
        converted_.resize(units);
        memcpy(converted_.data(), body, units * 2);
    }
    const char16_t* base =
        converted_.empty() ? reinterpret_cast<const char16_t*>(body) : converted_.data();
    std::u16string_view all(base, units);
    size_t pos = 0;
    for (auto& s : strings_) {
        size_t end = pos < all.size() ? all.find(u'\0', pos) : all.size();
        if (end == std::u16string_view::npos)
            end = all.size();
        s = pos < all.size() ? all.substr(pos, end - pos) : std::u16string_view();
        pos = end + 1;
    }
    hasStrings_ = true;
}

void BodyStringReader::ReadCodePage(const uint8_t* frame, size_t length) {
    if (length < kRequestHeaderSize + kCodePageSize)
        return;
    codePage_ = static_cast<int>(ReadU32(frame + kRequestHeaderSize));
    if (!Vs5Platform::IsKnownCodePage(codePage_))
        return;
    size_t start = kRequestHeaderSize + kCodePageSize;
    std::string_view all(reinterpret_cast<const char*>(frame) + start, length - start);
    size_t lengths[3] = {};
    size_t pos = 0;
    for (size_t& n : lengths) {
        size_t end = pos < all.size() ? all.find('\0', pos) : all.size();
        if (end == std::string_view::npos)
            end = all.size();
        std::string_view piece = pos < all.size() ? all.substr(pos, end - pos) : std::string_view();
        std::u16string wide =
            Vs5Platform::Utf8ToUtf16(Vs5Platform::CodePageToUtf8(piece, codePage_));
        n = wide.size();
        converted_ += wide;
        converted_.push_back(u'\0');
        pos = end + 1;
    }
    // Views are taken once the buffer has stopped growing.
    size_t offset = 0;
    for (int i = 0; i < 3; ++i) {
        strings_[i] = std::u16string_view(converted_.data() + offset, lengths[i]);
        offset += lengths[i] + 1;
    }
    hasStrings_ = true;
}

}  // namespace Vs5Server
