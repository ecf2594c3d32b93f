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

void AppendUtf16(std::vector<uint8_t>& out, std::u16string_view s, bool nul = true) {
    for (char16_t c : s) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    if (nul)
        out.insert(out.end(), {0, 0});
}

ParseState StateAt(const std::vector<uint8_t>& f, size_t n, uint64_t max = kMax) {
    return ParseRequestFrame(f.data(), n, max).state;
}

}  // namespace

TEST(RequestFrame, EmptyFramesCompleteAtTheirLength) {
    // Every encoding but 400 carries a code page the body length leaves out.
    for (auto [encoding, length] : {std::pair{400u, 36u}, {401u, 40u}, {0u, 40u}, {7u, 40u}}) {
        std::vector<uint8_t> f = Header(encoding, 0);
        f.resize(length, 0);
        for (size_t n = 0; n < length; ++n) {
            ParseResult r = ParseRequestFrame(f.data(), n, kMax);
            EXPECT_EQ(r.state, ParseState::kNeedMore) << encoding << " " << n;
            EXPECT_EQ(r.available, n);
            EXPECT_EQ(r.frameLength, n < 36 ? 0u : length);
        }
        ParseResult done = ParseRequestFrame(f.data(), length, kMax);
        EXPECT_EQ(done.state, ParseState::kComplete) << encoding;
        EXPECT_EQ(done.frameLength, length);
    }
}

TEST(RequestFrame, ByteByByteThenTheNextFrameIsLeftAlone) {
    std::vector<uint8_t> bytes = Header(400, 10);
    bytes.resize(46, 0xAB);
    std::vector<uint8_t> second = Header(401, 2);
    bytes.insert(bytes.end(), second.begin(), second.end());
    for (size_t n = 1; n <= 46; ++n)
        EXPECT_EQ(StateAt(bytes, n) == ParseState::kComplete, n == 46) << n;

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
    EXPECT_EQ(StateAt(h, 36, 1048576 + 36), ParseState::kNeedMore);
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
    AppendUtf16(frame, u"abcde");
    AppendUtf16(frame, u"x=1");
    AppendUtf16(frame, u"");
    ASSERT_EQ(frame.size(), 58u);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 4, frame.begin() + 16),
              (std::vector<uint8_t>{0x90, 0x01, 0, 0, 0x47, 0, 0x45, 0, 0x54, 0, 0, 0}));
    EXPECT_EQ(frame[32], 0x16);

    EXPECT_EQ(StateAt(frame, 57), ParseState::kNeedMore);
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
    EXPECT_EQ(DecodeRequestHeader(Header(400, 0, u"").data()).verb, u"");
    std::vector<uint8_t> tail = Header(400, 0, u"GET");
    WriteU16(tail.data() + 16, u'X');  // bytes after the NUL are ignored
    EXPECT_EQ(DecodeRequestHeader(tail.data()).verb, u"GET");
}

TEST(BodyStrings, CodePagesMissingStringsAndTruncatedBodies) {
    // C7 D1 is U+D55C in code page 949.
    std::vector<uint8_t> frame = Header(401, 11);
    frame.resize(40);
    WriteU32(frame.data() + 36, 949);
    frame.insert(frame.end(), {'C', ':', '/', 0xC7, 0xD1, 0, 'w', '=', '1', 0, 0});
    BodyStringReader r(frame.data(), frame.size());
    ASSERT_TRUE(r.hasStrings());
    EXPECT_EQ(r.codePage(), 949);
    EXPECT_EQ(r.first(), u"C:/\uD55C");
    EXPECT_EQ(r.second(), u"w=1");
    EXPECT_EQ(r.third(), u"");

    std::vector<uint8_t> other = Header(402, 4);
    other.resize(44, 'a');
    EXPECT_FALSE(BodyStringReader(other.data(), other.size()).hasStrings());
    std::vector<uint8_t> unknownPage = Header(401, 2);
    unknownPage.resize(42, 'a');
    WriteU32(unknownPage.data() + 36, 12345);
    EXPECT_FALSE(BodyStringReader(unknownPage.data(), unknownPage.size()).hasStrings());

    // A string without its NUL ends with the frame; the missing ones are empty.
    std::vector<uint8_t> open = Header(400, 6);
    AppendUtf16(open, u"abc", false);
    std::vector<uint8_t> cp = Header(401, 3);
    cp.resize(40);
    WriteU32(cp.data() + 36, 65001);
    cp.insert(cp.end(), {'x', 0, 'y'});
    for (auto [f, first, second] : {std::tuple{&open, u"abc", u""}, {&cp, u"x", u"y"}}) {
        BodyStringReader b(f->data(), f->size());
        ASSERT_TRUE(b.hasStrings());
        EXPECT_EQ(b.first(), first);
        EXPECT_EQ(b.second(), second);
        EXPECT_EQ(b.third(), u"");
    }
}
