// Builders of the response frames the commands send. Text comes in as UTF-8
// and goes out as UTF-16LE, or in a client's code page for the one builder
// that says so. Each builder leaves the complete frame in the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "server/response_buffer.h"

namespace Vs5Server {

constexpr uint16_t kPayloadText = 1;
constexpr uint16_t kPayloadBinary = 2;

// Header-only answer: 12 bytes, payload length 0.
void BuildHeaderOnlyResponse(ResponseBuffer& out, uint32_t status);

// Bare text: the NUL-terminated UTF-16LE string right after the header.
void BuildTextResponse(ResponseBuffer& out, uint32_t status, std::string_view text);

// Bare text in a code page: the NUL-terminated multibyte string right after
// the header. Characters the code page cannot hold become '?'.
void BuildCodePageTextResponse(ResponseBuffer& out, int codePage, uint32_t status,
                               std::string_view text);

// Typed text: payload type 1 and the NUL-terminated UTF-16LE string; status 0.
void BuildTypedTextResponse(ResponseBuffer& out, std::string_view text);

// Typed binary: payload type 2, the data length and the data.
void BuildTypedBinaryResponse(ResponseBuffer& out, uint32_t status, const uint8_t* data,
                              uint32_t length);

// A size answer: typed binary with two u32, width and height; status 0.
void BuildSizeResponse(ResponseBuffer& out, uint32_t width, uint32_t height);

}  // namespace Vs5Server
