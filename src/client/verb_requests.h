// The bodies of the three verbs as a client writes them, and the payloads of
// their answers as a client reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/request_builder.h"

namespace VsClient {

// Source kinds of EXEC.
enum class ExecSource : uint16_t { kNone = 0, kFile = 1, kWebPage = 2, kBytes = 3 };

// Request kinds of EXEC2.
enum class Exec2Kind : uint16_t {
    kLoadFile = 1,
    kCapture = 2,
    kLoadBytes = 3,
    kScript = 4,
    kRelease = 5,
    kMetadata = 6,
    kSetFlags = 7,
    kClearFlags = 8,
    kBlank = 9,
};

// GET: source path and command, as UTF-16LE (400) or in `codePage` (401).
std::vector<uint8_t> BuildGetFrame(const std::string& sourcePath, const std::string& command,
                                   uint32_t encoding = kEncodingUtf16, uint32_t codePage = 0);

// EXEC: kind, data (a NUL-terminated UTF-16LE path or URL, or image bytes),
// capture options and the script (lines separated by "\n").
std::vector<uint8_t> BuildExecFrame(ExecSource kind, const std::vector<uint8_t>& data,
                                    const std::string& options, const std::string& script);

// EXEC2: kind, data, text A (capture options or script) and the image name.
std::vector<uint8_t> BuildExec2Frame(Exec2Kind kind, const std::vector<uint8_t>& data,
                                     const std::string& textA, const std::string& imageName);

// Data pieces: a NUL-terminated UTF-16LE text; little-endian u32 values.
std::vector<uint8_t> Utf16z(const std::string& text);
std::vector<uint8_t> U32s(std::initializer_list<uint32_t> values);

// The bare path of a GET answer: UTF-16LE, or for a 401 request text in the
// request's code page; returned as UTF-8. False without a terminator.
bool PayloadBareText(const Response& response, uint32_t encoding, uint32_t codePage,
                     std::string& text);

// Typed payloads (type 1 text, type 2 binary). False when the payload is not
// of that type, or is cut short (a text without its terminator, a data
// length that differs from the bytes present).
bool PayloadText(const Response& response, std::string& text);
bool PayloadBinary(const Response& response, std::vector<uint8_t>& data);
// A size answer: binary payload of exactly 8 bytes.
bool PayloadSize(const Response& response, uint32_t& width, uint32_t& height);

// What a result code means, for messages.
const char* ResultCodeMeaning(uint32_t code);

}  // namespace VsClient
