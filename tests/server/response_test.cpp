#include <gtest/gtest.h>

#include <vector>

#include "server/response_buffer.h"
#include "server/response_builders.h"

using namespace Vs5Server;

namespace {

std::vector<uint8_t> Bytes(const ResponseBuffer& b) {
    return std::vector<uint8_t>(b.data(), b.data() + b.length());
}

}  // namespace

TEST(ResponseBuilders, HeaderOnlyAndBareText) {
    ResponseBuffer b;
    BuildHeaderOnlyResponse(b, 100);
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{0x56, 0x53, 0x34, 0, 0x64, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(b.usesInlineStorage());

    BuildTextResponse(b, 0, "C:/a\xED\x95\x9C");  // "C:/a" and U+D55C
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{'V', 'S', '4', 0, 0,   0, 0,   0, 12,   0,    0, 0,
                                              'C', 0,   ':', 0, '/', 0, 'a', 0, 0x5C, 0xD5, 0, 0}));

    BuildCodePageTextResponse(b, 949, 0, "a\xED\x95\x9C");
    EXPECT_EQ(Bytes(b),
              (std::vector<uint8_t>{'V', 'S', '4', 0, 0, 0, 0, 0, 4, 0, 0, 0, 'a', 0xC7, 0xD1, 0}));
    BuildCodePageTextResponse(b, 65001, 0, "");
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{'V', 'S', '4', 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}));
}

TEST(ResponseBuilders, TypedTextAndBinary) {
    ResponseBuffer b;
    BuildTypedTextResponse(b, "ok");
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{'V', 'S', '4', 0, 0,   0, 0,   0, 8, 0,
                                              0,   0,   1,   0, 'o', 0, 'k', 0, 0, 0}));

    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    BuildTypedBinaryResponse(b, 0, data, 8);
    ASSERT_EQ(b.length(), 26u);
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{'V', 'S', '4', 0, 0, 0, 0, 0, 14, 0, 0, 0, 2,
                                              0,   8,   0,   0, 0, 1, 2, 3, 4,  5, 6, 7, 8}));
    BuildTypedBinaryResponse(b, 0, nullptr, 0);
    EXPECT_EQ(Bytes(b),
              (std::vector<uint8_t>{'V', 'S', '4', 0, 0, 0, 0, 0, 6, 0, 0, 0, 2, 0, 0, 0, 0, 0}));
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

    std::vector<uint8_t> exact(ResponseBuffer::kInlineSize, 1);
    b.Set(exact.data(), exact.size());
    EXPECT_TRUE(b.usesInlineStorage());
    std::vector<uint8_t> over(ResponseBuffer::kInlineSize + 1, 2);
    b.Set(over.data(), over.size());
    EXPECT_FALSE(b.usesInlineStorage());
    EXPECT_EQ(Bytes(b), over);

    b.Reset();
    EXPECT_EQ(b.length(), 0u);
    EXPECT_EQ(b.data(), nullptr);
}
