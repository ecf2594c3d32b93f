#include "server/response_buffer.h"

#include <cstring>

#include "server/frame.h"

namespace Vs5Server {

uint8_t* ResponseBuffer::Allocate(uint64_t length) {
    Reset();
    if (length > kInlineSize) {
        block_.reset(new uint8_t[length]);
        frame_ = block_.get();
    } else {
        frame_ = inline_;
    }
    length_ = length;
    return frame_;
}

void ResponseBuffer::Set(const uint8_t* bytes, uint64_t length) {
    uint8_t* out = Allocate(length);
    if (length > 0)
        memcpy(out, bytes, length);
}

void ResponseBuffer::SetHeaderOnly(uint32_t status) {
    Reset();
    EncodeResponseHeader(inline_, status, 0);
    frame_ = inline_;
    length_ = kResponseHeaderSize;
}

void ResponseBuffer::Reset() {
    block_.reset();
    frame_ = nullptr;
    length_ = 0;
}

}  // namespace Vs5Server
