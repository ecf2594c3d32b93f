#include "commands/kind_body.h"

#include "platform/text.h"
#include "server/frame.h"

namespace Vs4Command {

namespace {

// Reads UTF-16LE code units from `p` up to a NUL or `end`; returns the
// position after the NUL (or `end`).
const uint8_t* ReadText(const uint8_t* p, const uint8_t* end, std::string& out) {
    std::u16string units;
    while (end - p >= 2) {
        char16_t unit = char16_t(p[0] | p[1] << 8);
        p += 2;
        if (unit == 0) {
            out = Vs5Platform::Utf16ToUtf8(units);
            return p;
        }
        units.push_back(unit);
    }
    out = Vs5Platform::Utf16ToUtf8(units);
    return end;
}

}  // namespace

KindBody ParseKindBody(const uint8_t* frame, size_t length) {
    KindBody body;
    constexpr size_t kDataOffset = Vs5Server::kRequestHeaderSize + 6;
    if (length < kDataOffset)
        return body;
    const uint8_t* end = frame + length;
    body.kind = Vs5Server::ReadU16(frame + Vs5Server::kRequestHeaderSize);
    uint64_t announced = Vs5Server::ReadU32(frame + Vs5Server::kRequestHeaderSize + 2);
    uint64_t available = length - kDataOffset;
    body.dataLength = static_cast<uint32_t>(announced < available ? announced : available);
    body.data = frame + kDataOffset;
    const uint8_t* p = ReadText(body.data + body.dataLength, end, body.first);
    ReadText(p, end, body.second);
    return body;
}

std::string DataText(const KindBody& body) {
    std::string text;
    ReadText(body.data, body.data + body.dataLength, text);
    return text;
}

uint32_t DataU32(const KindBody& body, size_t offset, uint32_t fallback) {
    if (body.data == nullptr || body.dataLength < offset + 4)
        return fallback;
    return Vs5Server::ReadU32(body.data + offset);
}

std::string ScriptLogText(const std::string& script) {
    size_t lf = script.find('\n');
    if (lf == std::string::npos)
        return script;
    return lf == 0 ? std::string() : script.substr(0, lf) + "...";
}

}  // namespace Vs4Command
