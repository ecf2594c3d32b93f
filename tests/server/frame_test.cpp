// The request frame parser: when a frame is complete, and which announcements
// are refused before their body arrives.
#include "server/frame.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Vs5Server;

TEST(RequestFrame, CompletionAndTheSizeLimit) {
    constexpr uint64_t kMax = 128ull << 20;
    struct Case {
        uint32_t encoding, bodyLength;
        size_t available;
        uint64_t max;
        ParseState state;
        uint64_t frameLength;
    } cases[] = {
        {400, 0, 35, kMax, ParseState::kNeedMore, 0},  // no header yet
        {400, 0, 36, kMax, ParseState::kComplete, 36},
        // Every encoding but 400 carries a code page the body length leaves out.
        {401, 0, 39, kMax, ParseState::kNeedMore, 40},
        {401, 0, 40, kMax, ParseState::kComplete, 40},
        {7, 2, 42, kMax, ParseState::kComplete, 42},
        {400, 10, 45, kMax, ParseState::kNeedMore, 46},
        {400, 10, 88, kMax, ParseState::kComplete, 46},  // the next frame is left alone
        // The limit is the whole frame, header included, and it is inclusive.
        {400, 1048540, 36, 1048576, ParseState::kNeedMore, 1048576},
        {400, 1048541, 36, 1048576, ParseState::kTooLarge, 1048577},
        {401, 1048536, 36, 1048576, ParseState::kNeedMore, 1048576},
        {401, 1048537, 36, 1048576, ParseState::kTooLarge, 1048577},
        // The largest announcement does not wrap round to a short frame.
        {401, 0xFFFFFFFFu, 36, kMax, ParseState::kTooLarge, 0xFFFFFFFFull + 40},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(std::max<size_t>(c.available, 36), 0);
        WriteU32(bytes.data() + 4, c.encoding);
        WriteU32(bytes.data() + 32, c.bodyLength);
        ParseResult r = ParseRequestFrame(bytes.data(), c.available, c.max);
        EXPECT_EQ(r.state, c.state) << c.encoding << " " << c.bodyLength << " " << c.available;
        EXPECT_EQ(r.frameLength, c.frameLength) << c.encoding << " " << c.bodyLength;
    }
}

TEST(RequestFrame, VerbIsBoundedByItsField) {
    std::vector<uint8_t> h(36, 0);
    for (int i = 0; i < 12; ++i)
        WriteU16(h.data() + 8 + 2 * i, u'A' + i);  // 12 units, no NUL
    WriteU32(h.data() + 32, 0x00410041);           // the body length must not join it
    EXPECT_EQ(DecodeRequestHeader(h.data()).verb, u"ABCDEFGHIJKL");
    WriteU16(h.data() + 14, 0);  // the bytes after a NUL are ignored
    EXPECT_EQ(DecodeRequestHeader(h.data()).verb, u"ABC");
}
