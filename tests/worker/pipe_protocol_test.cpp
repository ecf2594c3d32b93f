// The byte layouts of the worker messages where the real worker's round trips
// (worker_test.cpp) cannot see them: field offsets, cut texts, values whose
// pixels cannot be compared, and unknown opcodes.
#include <gtest/gtest.h>

#include "worker/pipe_protocol.h"

using namespace Vs4Command;
using namespace Vs5Worker;

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

std::string Wide(const std::vector<uint8_t>& b, size_t at) {
    std::string out;
    for (size_t i = at; b[i] != 0 || b[i + 1] != 0; i += 2)
        out.push_back(static_cast<char>(b[i]));
    return out;
}

}  // namespace

// The worker round trips compare pixels; these values they cannot compare
// (random filters, a frame, text flags that draw nothing here) must come back
// whole, and unknown opcodes must be refused.
TEST(PipeProtocol, ValuesWithoutComparablePixelsRoundTripAndUnknownOpcodesAreRefused) {
    const TextOp text{"DejaVu Sans", 33.5f, 5, 2,   false, true,       false,
                      "caption",     -4,    9, 300, 40,    0x80FF0102, 3};
    const Operation cases[] = {FrameOp{"/frames", "gold"}, JitterOp{9}, NoiseOp{300}, text};
    for (const Operation& op : cases) {
        std::vector<Message> messages = EncodeOperation(op);
        ASSERT_EQ(messages.size(), 1u);
        const uint32_t opcode = messages[0].opcode;
        EXPECT_EQ(messages[0].body.size(), BodySize(opcode).value()) << opcode;
        std::optional<Operation> back = DecodeOperation(opcode, messages[0].body.data());
        ASSERT_TRUE(back.has_value()) << opcode;
        EXPECT_EQ(EncodeOperation(*back)[0].body, messages[0].body) << opcode;
    }
    std::vector<uint8_t> body(4096, 0);
    for (uint32_t opcode : {uint32_t(kLoadFile), uint32_t(kSaveFile), 9999u})
        EXPECT_FALSE(DecodeOperation(opcode, body.data()).has_value()) << opcode;
    EXPECT_FALSE(BodySize(9999).has_value());
}

TEST(PipeProtocol, FieldsSitAtTheirOffsets) {
    const TextOp t{.font = "Arial", .text = "hello", .x = 2320, .color = 0xFFEEDDCC, .hint = 5};
    std::vector<uint8_t> b = EncodeOperation(t)[0].body;
    EXPECT_EQ(Wide(b, 0), "Arial");
    EXPECT_EQ(U32(b, 256), 0x41400000u);  // 12.0f
    EXPECT_EQ(Wide(b, 272), "hello");
    EXPECT_EQ(U32(b, 2320), 2320u);
    EXPECT_EQ(U32(b, 2336), 0xFFEEDDCCu);
    EXPECT_EQ(U32(b, 2340), 5u);

    std::vector<uint8_t> save = EncodeSaveFile({"/c/r.jpg", 85, true, "bob", "pw"});
    EXPECT_EQ(save.size(), 1044u);
    EXPECT_EQ(Wide(save, 0), "/c/r.jpg");
    EXPECT_EQ(U32(save, 524), 85u);
    EXPECT_EQ(U32(save, 528), 1u);
    EXPECT_EQ(Wide(save, 532), "bob");
    EXPECT_EQ(Wide(save, 788), "pw");
    std::vector<uint8_t> load = EncodeLoadFile({"/p.jpg", "u", "p"});
    EXPECT_EQ(load.size(), 1034u);
    EXPECT_EQ(Wide(load, 522), "u");
    EXPECT_EQ(Wide(load, 778), "p");
    std::vector<uint8_t> encode = EncodeEncode({"png", 70, false});
    EXPECT_EQ(encode.size(), 32u);
    EXPECT_EQ(Wide(encode, 0), "png");
    EXPECT_EQ(U32(encode, 24), 70u);

    // The header carries the layer only for the image operations.
    std::vector<uint8_t> header = EncodeHeader(kBlur, "top");
    EXPECT_EQ(header.size(), kHeaderSize);
    EXPECT_EQ(Wide(header, 4), "top");
    EXPECT_EQ(DecodeHeader(header.data()).layer, "top");
    EXPECT_EQ(DecodeHeader(EncodeHeader(kLoadFile, "top").data()).layer, "");
    EXPECT_EQ(DecodeHeader(EncodeHeader(kLayerNew, "top").data()).layer, "");
}

TEST(PipeProtocol, TextsAreCutToTheirFieldsAndSomeValuesSendNothing) {
    // A layer name keeps 64 characters, a path that does not fit is refused.
    std::string longName(100, 'n');
    EXPECT_EQ(DecodeHeader(EncodeHeader(kResize, longName).data()).layer, std::string(64, 'n'));
    EXPECT_TRUE(FitsField(std::string(260, 'p'), kPathUnits));
    EXPECT_FALSE(FitsField(std::string(261, 'p'), kPathUnits));
    // Characters outside the BMP take two units and are never split.
    std::string emoji;
    for (int i = 0; i < 40; ++i)
        emoji += "\xF0\x9F\x98\x80";
    EXPECT_EQ(DecodeHeader(EncodeHeader(kResize, emoji).data()).layer, emoji.substr(0, 32 * 4));
    // A field without its NUL reads as far as a writer could have written:
    // the last unit is the NUL's place.
    std::vector<uint8_t> header(kHeaderSize, 'x');
    for (size_t i = 5; i < header.size(); i += 2)
        header[i] = 0;
    EXPECT_EQ(DecodeHeader(header.data()).layer, std::string(64, 'x'));
    // A flip on no axis and the values only the in-process runners know send
    // nothing (a flip on both axes: the worker's round trips).
    EXPECT_TRUE(EncodeOperation(FlipOp{false, false}).empty());
    EXPECT_TRUE(EncodeOperation(CaptchaOp{}).empty());
}
