#include "photocmd/param_readers.h"

#include "photocmd/number_text.h"
#include "platform/codepage.h"
#include "platform/text.h"

namespace Vs4Command {

std::string GetString(const ParamMap& map, std::string_view key) {
    const std::string* value = map.Find(key);
    return value ? *value : std::string();
}

std::string GetLowerString(const ParamMap& map, std::string_view key) {
    return Vs5Platform::AsciiLower(GetString(map, key));
}

int32_t GetInt(const ParamMap& map, std::string_view key, int32_t defaultValue) {
    const std::string* value = map.Find(key);
    return value ? ParseDecimalInt(*value) : defaultValue;
}

int32_t GetIntEither(const ParamMap& map, std::string_view key, std::string_view alias,
                     int32_t defaultValue) {
    if (map.Has(key))
        return GetInt(map, key, defaultValue);
    return GetInt(map, alias, defaultValue);
}

float GetFloat(const ParamMap& map, std::string_view key, float defaultValue) {
    const std::string* value = map.Find(key);
    return value ? NarrowToFloat(ParseDecimalDouble(*value)) : defaultValue;
}

bool GetBool(const ParamMap& map, std::string_view key, bool defaultValue) {
    const std::string* value = map.Find(key);
    if (!value)
        return defaultValue;
    return !value->empty() && ((*value)[0] == 'T' || (*value)[0] == 't');
}

uint32_t GetColor(const ParamMap& map, std::string_view key, uint32_t defaultValue) {
    const std::string* value = map.Find(key);
    return value ? ParseColor(*value) : defaultValue;
}

namespace {

int HexValue(char16_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

uint32_t ParseColor(std::string_view text) {
    // Lengths count UTF-16 code units, as the client wrote them.
    std::u16string units = Vs5Platform::Utf8ToUtf16(text);
    std::u16string_view digits = units;
    if (!digits.empty() && digits[0] == u'#')
        digits.remove_prefix(1);
    if (digits.size() != 6 && digits.size() != 8)
        return 0xFFFFFFFFu;
    uint32_t value = 0;
    for (char16_t c : digits) {
        int digit = HexValue(c);
        value = (value << 4) | static_cast<uint32_t>(digit < 0 ? 0 : digit);
    }
    return digits.size() == 6 ? (0xFF000000u | value) : value;
}

std::string DecodeQueryBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        char c = bytes[i];
        if (c == '+') {
            out += ' ';
            ++i;
        } else if (c != '%' || i + 2 >= bytes.size()) {
            out += c;
            ++i;
        } else if (HexValue(static_cast<unsigned char>(bytes[i + 1])) >= 0 &&
                   HexValue(static_cast<unsigned char>(bytes[i + 2])) >= 0) {
            out += static_cast<char>(HexValue(static_cast<unsigned char>(bytes[i + 1])) * 16 +
                                     HexValue(static_cast<unsigned char>(bytes[i + 2])));
            i += 3;
        } else {
            out += bytes[i + 1];
            i += 2;
        }
    }
    return out;
}

std::string GetText(const ParamMap& map, std::string_view key, bool utf8) {
    const std::string* value = map.Find(key);
    if (!value)
        return std::string();
    std::string decoded = DecodeQueryBytes(Vs5Platform::Utf8ToAnsi(*value));
    std::string text = utf8 ? decoded : Vs5Platform::AnsiToUtf8(decoded);
    // Percent-encoded bytes need not form valid UTF-8; malformed sequences
    // become U+FFFD so that the rest of the program only sees valid text.
    return Vs5Platform::Utf16ToUtf8(Vs5Platform::Utf8ToUtf16(text));
}

}  // namespace Vs4Command
