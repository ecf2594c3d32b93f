#include "server/response_builders.h"

#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "platform/text.h"
#include "server/frame.h"

namespace Vs5Server {

namespace {

// Writes UTF-16 code units as little-endian bytes, with the NUL.
void WriteUtf16z(uint8_t* out, std::u16string_view units) {
    for (size_t i = 0; i < units.size(); ++i)
        WriteU16(out + 2 * i, units[i]);
    WriteU16(out + 2 * units.size(), 0);
}

}  // namespace

void BuildHeaderOnlyResponse(ResponseBuffer& out, uint32_t status) {
    out.SetHeaderOnly(status);
}

void BuildTextResponse(ResponseBuffer& out, uint32_t status, std::string_view text) {
    std::u16string units = Vs5Platform::Utf8ToUtf16(text);
    uint64_t total = kResponseHeaderSize + 2 * (units.size() + 1);
    uint8_t* frame = out.Allocate(total);
    EncodeResponseHeader(frame, status, static_cast<uint32_t>(total - kResponseHeaderSize));
    WriteUtf16z(frame + kResponseHeaderSize, units);
}

void BuildCodePageTextResponse(ResponseBuffer& out, int codePage, uint32_t status,
                               std::string_view text) {
    std::string bytes = Vs5Platform::Utf8ToCodePage(text, codePage);
    uint64_t total = kResponseHeaderSize + bytes.size() + 1;
    uint8_t* frame = out.Allocate(total);
    EncodeResponseHeader(frame, status, static_cast<uint32_t>(total - kResponseHeaderSize));
    memcpy(frame + kResponseHeaderSize, bytes.data(), bytes.size());
    frame[total - 1] = 0;
}

void BuildTypedTextResponse(ResponseBuffer& out, std::string_view text) {
    std::u16string units = Vs5Platform::Utf8ToUtf16(text);
    uint64_t total = kResponseHeaderSize + 2 + 2 * (units.size() + 1);
    uint8_t* frame = out.Allocate(total);
    EncodeResponseHeader(frame, kStatusSuccess, static_cast<uint32_t>(total - kResponseHeaderSize));
    WriteU16(frame + kResponseHeaderSize, kPayloadText);
    WriteUtf16z(frame + kResponseHeaderSize + 2, units);
}

void BuildTypedBinaryResponse(ResponseBuffer& out, uint32_t status, const uint8_t* data,
                              uint32_t length) {
    uint64_t total = kResponseHeaderSize + 6 + uint64_t(length);
    uint8_t* frame = out.Allocate(total);
    EncodeResponseHeader(frame, status, static_cast<uint32_t>(total - kResponseHeaderSize));
    WriteU16(frame + kResponseHeaderSize, kPayloadBinary);
    WriteU32(frame + kResponseHeaderSize + 2, length);
    if (length > 0)
        memcpy(frame + kResponseHeaderSize + 6, data, length);
}

void BuildSizeResponse(ResponseBuffer& out, uint32_t width, uint32_t height) {
    uint8_t size[8];
    WriteU32(size, width);
    WriteU32(size + 4, height);
    BuildTypedBinaryResponse(out, kStatusSuccess, size, sizeof size);
}

}  // namespace Vs5Server
