#include "commands/exec2_metadata.h"

#include <string_view>

#include "platform/codepage.h"

namespace Vs4Command {

namespace {

enum PropertyType : uint16_t {
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSignedLong = 9,
    kSignedRational = 10,
};

uint32_t U32At(const std::vector<uint8_t>& v, size_t at) {
    return uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 |
           uint32_t(v[at + 3]) << 24;
}

// Continuation bytes a lead byte announces: 0 for a single byte, -1 for a
// byte that cannot start a sequence of at most four bytes.
int ContinuationCount(uint8_t lead) {
    if (lead < 0xC0)
        return 0;
    if (lead < 0xE0)
        return 1;
    if (lead < 0xF0)
        return 2;
    if (lead < 0xF8)
        return 3;
    return -1;
}

std::string AsciiText(const std::vector<uint8_t>& value) {
    std::string_view bytes(reinterpret_cast<const char*>(value.data()), value.size());
    bytes = bytes.substr(0, bytes.find('\0'));
    const auto* raw = reinterpret_cast<const uint8_t*>(bytes.data());
    if (LooksLikeUtf8(raw, bytes.size()))
        return std::string(bytes);
    return Vs5Platform::AnsiToUtf8(bytes);
}

std::string RationalText(const std::vector<uint8_t>& value, bool isSigned) {
    std::string text;
    for (size_t at = 0; at + 8 <= value.size(); at += 8) {
        const uint32_t numerator = U32At(value, at);
        const uint32_t denominator = U32At(value, at + 4);
        if (!text.empty())
            text += ' ';
        if (isSigned) {
            text += std::to_string(static_cast<int32_t>(numerator)) + "/" +
                    std::to_string(static_cast<int32_t>(denominator));
        } else {
            text += std::to_string(numerator) + "/" + std::to_string(denominator);
        }
    }
    return text;
}

}  // namespace

bool LooksLikeUtf8(const uint8_t* bytes, size_t size) {
    int sequences = 0;
    for (size_t i = 0; i < size;) {
        const int more = ContinuationCount(bytes[i]);
        if (more < 0)
            return false;
        if (more == 0) {
            ++i;
            continue;
        }
        if (size - i - 1 < static_cast<size_t>(more))
            return false;
        uint32_t value = bytes[i] & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return false;
            value = value << 6 | (bytes[i + k] & 0x3F);
        }
        if (more == 2 && value < 0x800)
            return false;
        i += 1 + more;
        if (++sequences == 3)
            return true;
    }
    return sequences > 0;
}

std::string FormatProperty(const Vs4Image::PropertyItem& item) {
    const std::vector<uint8_t>& v = item.value;
    switch (item.type) {
        case kAscii:
            return AsciiText(v);
        case kShort:
            return v.size() < 2 ? "" : std::to_string(v[0] | v[1] << 8);
        case kLong:
            return v.size() < 4 ? "" : std::to_string(U32At(v, 0));
        case kSignedLong:
            return v.size() < 4 ? "" : std::to_string(static_cast<int32_t>(U32At(v, 0)));
        case kRational:
            return RationalText(v, false);
        case kSignedRational:
            return RationalText(v, true);
        default:
            return "";
    }
}

std::string PropertyText(const Vs4Image::CBaseImage& image, uint32_t id) {
    for (const Vs4Image::PropertyItem& item : image.properties())
        if (item.id == id)
            return FormatProperty(item);
    return "";
}

}  // namespace Vs4Command
