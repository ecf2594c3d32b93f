// The body of an EXEC2 request, read in place from the frame: u16 kind, u32
// data length (not aligned), the data, then two NUL-terminated UTF-16LE
// texts (capture options or script, and the image name). Every read is
// bounded by the frame: a data length that runs past the end makes the body
// unreadable, a text that lacks its NUL ends with the frame, and one that
// starts past the end is empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Vs4Command {

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

struct Exec2Request {
    uint16_t kind = 0;
    const uint8_t* data = nullptr;  // inside the frame
    uint32_t dataLength = 0;
    std::string textA;  // UTF-8
    std::string name;   // UTF-8; compared exactly
};

// Reads the body after the 36-byte header. False when the frame is too short
// to hold kind and data length, or the data would run past its end.
bool ReadExec2Request(const uint8_t* frame, size_t length, Exec2Request& request);

// A NUL-terminated UTF-16LE text from `bytes`, as UTF-8. It ends at its NUL
// or after the last whole code unit of `size` bytes. `consumed`, when given,
// receives the bytes taken, the NUL included.
std::string ReadUtf16z(const uint8_t* bytes, size_t size, size_t* consumed = nullptr);

// The little-endian u32 at `offset` of the request's data; false when the
// data is too short to hold it.
bool ReadDataU32(const Exec2Request& request, size_t offset, uint32_t& value);

}  // namespace Vs4Command
