// Request frames as a client writes them, and the response header as it reads
// it. Only the wire format lives here: the client knows nothing of the server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace VsClient {

constexpr uint32_t kEncodingUtf16 = 400;
constexpr uint32_t kEncodingCodePage = 401;
constexpr size_t kRequestHeaderSize = 36;
constexpr size_t kResponseHeaderSize = 12;
constexpr size_t kMaxVerbUnits = 11;

// A whole request frame: the 36-byte header with `verb` (UTF-8, cut to 11
// characters) and `encoding`, then, for every encoding other than 400, the
// 4-byte `codePage`, then `body`. The body length field counts `body` only.
std::vector<uint8_t> BuildRequestFrame(std::string_view verb, uint32_t encoding,
                                       const std::vector<uint8_t>& body, uint32_t codePage = 0);

// The body of a frame carrying strings: each string NUL-terminated, UTF-16LE.
std::vector<uint8_t> Utf16Strings(const std::vector<std::string>& strings);

struct Response {
    uint32_t status = 0;
    std::vector<uint8_t> payload;  // the bytes after the 12-byte header
};

// Reads status and payload length from a 12-byte header. False when the
// magic is not "VS4\0".
bool ParseResponseHeader(const uint8_t* header, uint32_t& status, uint32_t& payloadLength);

// The NUL-terminated UTF-16LE text at the start of `bytes`, as UTF-8.
std::string DecodeUtf16z(const uint8_t* bytes, size_t size);

}  // namespace VsClient
