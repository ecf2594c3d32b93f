#include "client/request_builder.h"

#include "platform/text.h"

namespace VsClient {

namespace {

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(v >> (8 * i));
}

uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

std::vector<uint8_t> BuildRequestFrame(std::string_view verb, uint32_t encoding,
                                       const std::vector<uint8_t>& body, uint32_t codePage) {
    size_t prefix = kRequestHeaderSize + (encoding == kEncodingUtf16 ? 0 : 4);
    std::vector<uint8_t> frame(prefix + body.size(), 0);
    frame[0] = 'V';
    frame[1] = 'S';
    frame[2] = '4';
    PutU32(frame, 4, encoding);
    std::u16string units = Vs5Platform::Utf8ToUtf16(verb);
    if (units.size() > kMaxVerbUnits)
        units.resize(kMaxVerbUnits);
    for (size_t i = 0; i < units.size(); ++i) {
        frame[8 + 2 * i] = uint8_t(units[i]);
        frame[9 + 2 * i] = uint8_t(units[i] >> 8);
    }
    PutU32(frame, 32, static_cast<uint32_t>(body.size()));
    if (prefix > kRequestHeaderSize)
        PutU32(frame, kRequestHeaderSize, codePage);
    std::copy(body.begin(), body.end(), frame.begin() + prefix);
    return frame;
}

std::vector<uint8_t> Utf16Strings(const std::vector<std::string>& strings) {
    std::vector<uint8_t> out;
    for (const std::string& s : strings) {
        for (char16_t unit : Vs5Platform::Utf8ToUtf16(s)) {
            out.push_back(uint8_t(unit));
            out.push_back(uint8_t(unit >> 8));
        }
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

bool ParseResponseHeader(const uint8_t* header, uint32_t& status, uint32_t& payloadLength) {
    if (header[0] != 'V' || header[1] != 'S' || header[2] != '4' || header[3] != 0)
        return false;
    status = GetU32(header + 4);
    payloadLength = GetU32(header + 8);
    return true;
}

std::string DecodeUtf16z(const uint8_t* bytes, size_t size) {
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2) {
        char16_t unit = char16_t(bytes[i] | bytes[i + 1] << 8);
        if (unit == 0)
            break;
        units.push_back(unit);
    }
    return Vs5Platform::Utf16ToUtf8(units);
}

}  // namespace VsClient
