// The body shared by EXEC and EXEC2: a u16 kind, a u32 data length (not
// aligned), the data, and two NUL-terminated UTF-16LE texts. Everything is
// bounded by the frame: data announced past its end is cut there, and a text
// that lacks its NUL ends with the frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Vs4Command {

struct KindBody {
    uint16_t kind = 0;  // 0 when the frame is too short to hold one
    const uint8_t* data = nullptr;
    uint32_t dataLength = 0;
    std::string first;   // UTF-8
    std::string second;  // UTF-8
};

// `frame` is the whole request, header included.
KindBody ParseKindBody(const uint8_t* frame, size_t length);

// The NUL-terminated UTF-16LE text at the start of the data, as UTF-8.
std::string DataText(const KindBody& body);

// A u32 of the data at `offset`; `fallback` when the data is too short.
uint32_t DataU32(const KindBody& body, size_t offset, uint32_t fallback = 0);

// The log text of a script: the script up to its first line feed, followed by
// "..." when that line feed is not its first character.
std::string ScriptLogText(const std::string& script);

}  // namespace Vs4Command
