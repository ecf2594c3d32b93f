// The bytes on the wire. A request is a 36-byte header (magic, encoding, verb,
// body length) and a body; every encoding other than 400 carries a 4-byte code
// page in front of the body that the body length does not count. A response is
// a 12-byte header ("VS4\0", status, payload length) and its payload. All
// integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Vs5Server {

constexpr uint32_t kEncodingUtf16 = 400;
constexpr uint32_t kEncodingCodePage = 401;

constexpr size_t kRequestHeaderSize = 36;
constexpr size_t kResponseHeaderSize = 12;
constexpr size_t kVerbOffset = 8;
constexpr size_t kVerbUnits = 12;  // 24 bytes: at most 11 characters and the NUL
constexpr size_t kCodePageSize = 4;

constexpr uint32_t kStatusSuccess = 0;
constexpr uint32_t kStatusUnknownVerb = 100;

struct RequestFrameHeader {
    uint32_t magic = 0;
    uint32_t encoding = 0;
    std::u16string verb;  // up to the NUL, at most kVerbUnits code units
    uint32_t bodyLength = 0;
};

struct ResponseFrameHeader {
    uint32_t status = 0;
    uint32_t payloadLength = 0;
};

inline uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t ReadU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline void WriteU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void WriteU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// Decodes the header from at least kRequestHeaderSize bytes. A verb without
// its NUL inside the 24-byte field is taken as the whole field, which matches
// no command.
RequestFrameHeader DecodeRequestHeader(const uint8_t* bytes);

// Writes "VS4\0", status and payload length into 12 bytes.
void EncodeResponseHeader(uint8_t* out, uint32_t status, uint32_t payloadLength);

// Full length of the frame whose header is given: 36 + body length for
// encoding 400, 40 + body length for every other encoding. Computed in 64 bits
// so that no announced length wraps round to a small one.
uint64_t RequestFrameLength(uint32_t encoding, uint32_t bodyLength);

// The outcome of looking at the bytes received so far.
enum class ParseState {
    kNeedMore,  // no complete frame yet; `frameLength` is known once 36 bytes are in
    kComplete,  // the first `frameLength` bytes are one request
    kTooLarge,  // the header announces more than the allowed size
};

struct ParseResult {
    ParseState state = ParseState::kNeedMore;
    uint64_t frameLength = 0;  // 0 until the header is complete
    size_t available = 0;      // bytes looked at
};

// Looks at the start of `bytes` for one request frame. Bytes after a complete
// frame are not examined: they belong to the next request.
ParseResult ParseRequestFrame(const uint8_t* bytes, size_t size, uint64_t maxFrameLength);

}  // namespace Vs5Server
