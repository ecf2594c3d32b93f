// The holder of one response frame per connection. Frames up to 2048 bytes
// live in the inline storage, so short answers and every header-only answer
// are sent without an allocation; a larger frame gets a block of its own that
// lives until the next request completes or the connection goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Vs5Server {

class ResponseBuffer {
public:
    static constexpr size_t kInlineSize = 2048;

    ResponseBuffer() = default;
    ResponseBuffer(const ResponseBuffer&) = delete;
    ResponseBuffer& operator=(const ResponseBuffer&) = delete;

    // Copies a whole frame in.
    void Set(const uint8_t* bytes, uint64_t length);
    // Makes room for a frame of `length` bytes and returns it for the caller
    // to fill; the inline storage when it fits, else a new block.
    uint8_t* Allocate(uint64_t length);
    // Writes a 12-byte header-only frame into the inline storage.
    void SetHeaderOnly(uint32_t status);
    // Frees a separate block and forgets the frame.
    void Reset();

    const uint8_t* data() const { return frame_; }
    uint64_t length() const { return length_; }
    bool usesInlineStorage() const { return frame_ == inline_; }

private:
    uint8_t inline_[kInlineSize];
    std::unique_ptr<uint8_t[]> block_;
    uint8_t* frame_ = nullptr;
    uint64_t length_ = 0;
};

}  // namespace Vs5Server
