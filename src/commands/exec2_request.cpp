#include "commands/exec2_request.h"

#include "platform/text.h"
#include "server/frame.h"

namespace Vs4Command {

namespace {

constexpr size_t kKindOffset = Vs5Server::kRequestHeaderSize;
constexpr size_t kDataLengthOffset = kKindOffset + 2;
constexpr size_t kDataOffset = kDataLengthOffset + 4;

}  // namespace

std::string ReadUtf16z(const uint8_t* bytes, size_t size, size_t* consumed) {
    std::u16string units;
    size_t at = 0;
    bool terminated = false;
    for (; at + 2 <= size; at += 2) {
        const char16_t unit = Vs5Server::ReadU16(bytes + at);
        if (unit == 0) {
            terminated = true;
            at += 2;
            break;
        }
        units.push_back(unit);
    }
    if (consumed)
        *consumed = terminated ? at : size;
    return Vs5Platform::Utf16ToUtf8(units);
}

bool ReadExec2Request(const uint8_t* frame, size_t length, Exec2Request& request) {
    if (length < kDataOffset)
        return false;
    request.kind = Vs5Server::ReadU16(frame + kKindOffset);
    request.dataLength = Vs5Server::ReadU32(frame + kDataLengthOffset);
    // Compared against what is left, so no announced length can wrap round.
    if (request.dataLength > length - kDataOffset)
        return false;
    request.data = frame + kDataOffset;

    size_t at = kDataOffset + request.dataLength;
    size_t used = 0;
    request.textA = ReadUtf16z(frame + at, length - at, &used);
    at += used;
    request.name = ReadUtf16z(frame + at, length - at);
    return true;
}

bool ReadDataU32(const Exec2Request& request, size_t offset, uint32_t& value) {
    if (request.dataLength < 4 || offset > request.dataLength - 4)
        return false;
    value = Vs5Server::ReadU32(request.data + offset);
    return true;
}

}  // namespace Vs4Command
