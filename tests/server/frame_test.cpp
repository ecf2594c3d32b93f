#include "server/frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "server/body_strings.h"

using namespace Vs5Server;

namespace {

constexpr uint64_t kMax = 128ull << 20;

std::vector<uint8_t> Header(uint32_t encoding, uint32_t bodyLength, std::u16string verb = u"GET") {
    std::vector<uint8_t> h(36, 0);
    WriteU32(h.data() + 4, encoding);
    for (size_t i = 0; i < verb.size(); ++i)
        WriteU16(h.data() + 8 + 2 * i, verb[i]);
    WriteU32(h.data() + 32, bodyLength);
    return h;
}

void AppendUtf16z(std::vector<uint8_t>& out, std::u16string_view s) {
    for (char16_t c : s) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
}

}  // namespace

TEST(RequestFrame, EmptyFramesCompleteAtTheirLength) {
    std::vector<uint8_t> utf16 = Header(400, 0);
    for (size_t n = 0; n < 36; ++n) {
        ParseResult r = ParseRequestFrame(utf16.data(), n, kMax);
        EXPECT_EQ(r.state, ParseState::kNeedMore) << n;
        EXPECT_EQ(r.available, n);
        EXPECT_EQ(r.frameLength, 0u);
    }
    ParseResult done = ParseRequestFrame(utf16.data(), 36, kMax);
    EXPECT_EQ(done.state, ParseState::kComplete);
    EXPECT_EQ(done.frameLength, 36u);

    // Every encoding but 400 carries a code page the body length leaves out.
    for (uint32_t encoding : {401u, 0u, 7u}) {
        std::vector<uint8_t> f = Header(encoding, 0);
        f.resize(40, 0);
        for (size_t n = 36; n < 40; ++n) {
            ParseResult r = ParseRequestFrame(f.data(), n, kMax);
            EXPECT_EQ(r.state, ParseState::kNeedMore);
            EXPECT_EQ(r.frameLength, 40u);
        }
        EXPECT_EQ(ParseRequestFrame(f.data(), 40, kMax).state, ParseState::kComplete);
    }
}

TEST(RequestFrame, ByteByByteThenTheNextFrameIsLeftAlone) {
    std::vector<uint8_t> bytes = Header(400, 10);
    bytes.resize(46, 0xAB);
    std::vector<uint8_t> second = Header(401, 2);
    bytes.insert(bytes.end(), second.begin(), second.end());

    std::vector<uint8_t> received;
    size_t completions = 0;
    for (size_t i = 0; i < 46; ++i) {
        received.push_back(bytes[i]);
        ParseResult r = ParseRequestFrame(received.data(), received.size(), kMax);
        if (r.state == ParseState::kComplete)
            ++completions;
        EXPECT_EQ(r.state == ParseState::kComplete, i == 45) << i;
    }
    EXPECT_EQ(completions, 1u);

    // Two frames in one segment: the first completes on its own length, and
    // the rest is the start of the next request.
    ParseResult both = ParseRequestFrame(bytes.data(), bytes.size(), kMax);
    EXPECT_EQ(both.state, ParseState::kComplete);
    EXPECT_EQ(both.frameLength, 46u);
    ParseResult rest = ParseRequestFrame(bytes.data() + 46, bytes.size() - 46, kMax);
    EXPECT_EQ(rest.state, ParseState::kNeedMore);
    EXPECT_EQ(rest.frameLength, 42u);
}

TEST(RequestFrame, OversizedAnnouncementIsRefusedBeforeTheBodyArrives) {
    std::vector<uint8_t> h = Header(400, 1048576);
    EXPECT_EQ(ParseRequestFrame(h.data(), 36, 1048576 + 36).state, ParseState::kNeedMore);
    ParseResult r = ParseRequestFrame(h.data(), 36, 1048576 + 35);
    EXPECT_EQ(r.state, ParseState::kTooLarge);
    EXPECT_EQ(r.frameLength, 1048612u);

    // The largest announcement does not wrap round to a short frame.
    std::vector<uint8_t> huge = Header(401, 0xFFFFFFFFu);
    ParseResult w = ParseRequestFrame(huge.data(), 36, kMax);
    EXPECT_EQ(w.state, ParseState::kTooLarge);
    EXPECT_EQ(w.frameLength, 0xFFFFFFFFull + 40);
}

TEST(RequestFrame, WorkedExampleOf58Bytes) {
    std::vector<uint8_t> frame = Header(400, 22);
    WriteU32(frame.data(), 0x12345678);  // magic: not examined
    AppendUtf16z(frame, u"abcde");
    AppendUtf16z(frame, u"x=1");
    AppendUtf16z(frame, u"");
    ASSERT_EQ(frame.size(), 58u);
    const uint8_t expectHead[] = {0x90, 0x01, 0, 0, 0x47, 0, 0x45, 0, 0x54, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 4, frame.begin() + 16),
              std::vector<uint8_t>(std::begin(expectHead), std::end(expectHead)));
    EXPECT_EQ(frame[32], 0x16);

    EXPECT_EQ(ParseRequestFrame(frame.data(), 57, kMax).state, ParseState::kNeedMore);
    ParseResult r = ParseRequestFrame(frame.data(), 58, kMax);
    ASSERT_EQ(r.state, ParseState::kComplete);
    EXPECT_EQ(r.frameLength, 58u);

    RequestFrameHeader header = DecodeRequestHeader(frame.data());
    EXPECT_EQ(header.magic, 0x12345678u);
    EXPECT_EQ(header.encoding, 400u);
    EXPECT_EQ(header.verb, u"GET");
    EXPECT_EQ(header.bodyLength, 22u);

    BodyStringReader body(frame.data(), frame.size());
    ASSERT_TRUE(body.hasStrings());
    EXPECT_EQ(body.first(), u"abcde");
    EXPECT_EQ(body.second(), u"x=1");
    EXPECT_EQ(body.third(), u"");
    // In place: the first string points into the frame.
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(body.first().data()), frame.data() + 36);
}

TEST(RequestFrame, VerbIsBoundedByItsField) {
    std::vector<uint8_t> h = Header(400, 0, u"ABCDEFGHIJKL");  // 12 units, no NUL
    WriteU32(h.data() + 32, 0x00410041);  // the body length field must not join it
    EXPECT_EQ(DecodeRequestHeader(h.data()).verb, u"ABCDEFGHIJKL");
    std::vector<uint8_t> empty = Header(400, 0, u"");
    EXPECT_EQ(DecodeRequestHeader(empty.data()).verb, u"");
    std::vector<uint8_t> tail = Header(400, 0, u"GET");
    WriteU16(tail.data() + 16, u'X');  // bytes after the NUL are ignored
    EXPECT_EQ(DecodeRequestHeader(tail.data()).verb, u"GET");
}

TEST(BodyStrings, CodePageStringsAreConverted) {
    std::vector<uint8_t> frame = Header(401, 0);
    frame.resize(40);
    WriteU32(frame.data() + 36, 949);
    // C7 D1 is U+D55C in code page 949.
    const uint8_t body[] = {'C', ':', '/', 0xC7, 0xD1, 0, 'w', '=', '1', 0, 0};
    frame.insert(frame.end(), std::begin(body), std::end(body));
    WriteU32(frame.data() + 32, sizeof(body));
    BodyStringReader r(frame.data(), frame.size());
    ASSERT_TRUE(r.hasStrings());
    EXPECT_EQ(r.codePage(), 949);
    EXPECT_EQ(r.first(), u"C:/\uD55C");
    EXPECT_EQ(r.second(), u"w=1");
    EXPECT_EQ(r.third(), u"");
}

TEST(BodyStrings, NoStringsAndTruncatedBodies) {
    std::vector<uint8_t> other = Header(402, 4);
    other.resize(44, 'a');
    EXPECT_FALSE(BodyStringReader(other.data(), other.size()).hasStrings());

    std::vector<uint8_t> unknownPage = Header(401, 2);
    unknownPage.resize(42, 'a');
    WriteU32(unknownPage.data() + 36, 12345);
    EXPECT_FALSE(BodyStringReader(unknownPage.data(), unknownPage.size()).hasStrings());

    // A string without its NUL ends with the frame; the missing ones are empty.
    std::vector<uint8_t> open = Header(400, 6);
    for (char16_t c : u"abc") {
        if (c == 0)
            break;
        open.push_back(uint8_t(c));
        open.push_back(0);
    }
    BodyStringReader r(open.data(), open.size());
    ASSERT_TRUE(r.hasStrings());
    EXPECT_EQ(r.first(), u"abc");
    EXPECT_EQ(r.second(), u"");
    EXPECT_EQ(r.third(), u"");

    std::vector<uint8_t> cp = Header(401, 3);
    cp.resize(40);
    WriteU32(cp.data() + 36, 65001);
    cp.push_back('x');
    cp.push_back(0);
    cp.push_back('y');
    BodyStringReader c(cp.data(), cp.size());
    ASSERT_TRUE(c.hasStrings());
    EXPECT_EQ(c.first(), u"x");
    EXPECT_EQ(c.second(), u"y");
    EXPECT_EQ(c.third(), u"");
}
