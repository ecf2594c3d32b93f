#include "server/frame.h"

namespace Vs5Server {

RequestFrameHeader DecodeRequestHeader(const uint8_t* bytes) {
    RequestFrameHeader header;
    header.magic = ReadU32(bytes);
    header.encoding = ReadU32(bytes + 4);
    for (size_t i = 0; i < kVerbUnits; ++i) {
        char16_t unit = ReadU16(bytes + kVerbOffset + 2 * i);
        if (unit == 0)
            break;
        header.verb.push_back(unit);
    }
    header.bodyLength = ReadU32(bytes + 32);
    return header;
}

void EncodeResponseHeader(uint8_t* out, uint32_t status, uint32_t payloadLength) {
    out[0] = 'V';
    out[1] = 'S';
    out[2] = '4';
    out[3] = 0;
    WriteU32(out + 4, status);
    WriteU32(out + 8, payloadLength);
}

uint64_t RequestFrameLength(uint32_t encoding, uint32_t bodyLength) {
    uint64_t header = kRequestHeaderSize + (encoding == kEncodingUtf16 ? 0 : kCodePageSize);
    return header + bodyLength;
}

ParseResult ParseRequestFrame(const uint8_t* bytes, size_t size, uint64_t maxFrameLength) {
    ParseResult result;
    if (size < kRequestHeaderSize) {
        result.available = size;
        return result;
    }
    result.frameLength = RequestFrameLength(ReadU32(bytes + 4), ReadU32(bytes + 32));
    if (result.frameLength > maxFrameLength) {
        result.state = ParseState::kTooLarge;
        result.available = kRequestHeaderSize;
        return result;
    }
    if (size < result.frameLength) {
        result.available = size;
        return result;
    }
    result.state = ParseState::kComplete;
    result.available = static_cast<size_t>(result.frameLength);
    return result;
}

}  // namespace Vs5Server
