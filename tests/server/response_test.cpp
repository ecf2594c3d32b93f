#include <gtest/gtest.h>

#include <vector>

#include "server/response_buffer.h"
#include "server/response_builders.h"

using namespace Vs5Server;

namespace {

std::vector<uint8_t> Bytes(const ResponseBuffer& b) {
    return std::vector<uint8_t>(b.data(), b.data() + b.length());
}

// "VS4\0", the status and the payload length, little-endian, then the payload.
std::vector<uint8_t> Answer(uint32_t status, std::vector<uint8_t> payload) {
    std::vector<uint8_t> out = {'V', 'S', '4', 0};
    for (uint32_t v : {status, uint32_t(payload.size())})
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

}  // namespace

TEST(ResponseBuilders, EveryBuilderWritesItsBytes) {
    ResponseBuffer b;
    BuildHeaderOnlyResponse(b, 100);
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{0x56, 0x53, 0x34, 0, 0x64, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(b.usesInlineStorage());

    BuildTextResponse(b, 0, "C:/a\xED\x95\x9C");  // "C:/a" and U+D55C
    EXPECT_EQ(Bytes(b), Answer(0, {'C', 0, ':', 0, '/', 0, 'a', 0, 0x5C, 0xD5, 0, 0}));
    BuildCodePageTextResponse(b, 949, 0, "a\xED\x95\x9C");
    EXPECT_EQ(Bytes(b), Answer(0, {'a', 0xC7, 0xD1, 0}));
    BuildCodePageTextResponse(b, 65001, 0, "");
    EXPECT_EQ(Bytes(b), Answer(0, {0}));

    // Typed answers: 1 for text, 2 for binary with a 32-bit length.
    BuildTypedTextResponse(b, "ok");
    EXPECT_EQ(Bytes(b), Answer(0, {1, 0, 'o', 0, 'k', 0, 0, 0}));
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    BuildTypedBinaryResponse(b, 0, data, 8);
    EXPECT_EQ(Bytes(b), Answer(0, {2, 0, 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    BuildTypedBinaryResponse(b, 0, nullptr, 0);
    EXPECT_EQ(Bytes(b), Answer(0, {2, 0, 0, 0, 0, 0}));
}

TEST(ResponseBuffer, LargeFramesGetABlockAndShortOnesReuseTheInlineStorage) {
    ResponseBuffer b;
    std::vector<uint8_t> big(3000, 0x5A);
    BuildTypedBinaryResponse(b, 0, big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_EQ(b.length(), 3018u);
    EXPECT_FALSE(b.usesInlineStorage());
    EXPECT_EQ(b.data()[3017], 0x5A);
    BuildHeaderOnlyResponse(b, 102);
    EXPECT_TRUE(b.usesInlineStorage());
    EXPECT_EQ(b.length(), 12u);

    for (size_t size : {ResponseBuffer::kInlineSize, ResponseBuffer::kInlineSize + 1}) {
        std::vector<uint8_t> bytes(size, uint8_t(size));
        b.Set(bytes.data(), bytes.size());
        EXPECT_EQ(b.usesInlineStorage(), size == ResponseBuffer::kInlineSize);
        EXPECT_EQ(Bytes(b), bytes);
    }
    b.Reset();
    EXPECT_EQ(b.length(), 0u);
    EXPECT_EQ(b.data(), nullptr);
}
