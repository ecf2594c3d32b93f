// Request text into pairs, and pairs into numbers, flags, colours and text.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "photocmd/param_map.h"
#include "photocmd/param_readers.h"
#include "platform/codepage.h"

using namespace Vs4Command;

namespace {

using PairList = std::vector<std::pair<std::string, std::string>>;

PairList Pairs(const std::string& text) {
    ParamMap map = ParseParams(text);
    return {map.begin(), map.end()};
}

}  // namespace

TEST(ParseParams, SplitsPairsLowerCasesKeysAndKeepsTheFirstOccurrence) {
    const struct {
        std::string text;
        PairList pairs;
    } cases[] = {
        {"cmd=thumb&w=120&h=90", {{"cmd", "thumb"}, {"h", "90"}, {"w", "120"}}},
        {"CMD=Thumb&X=5&x=9", {{"cmd", "Thumb"}, {"x", "5"}}},
        {"\xC3\x84x=1", {{"\xC3\x84x", "1"}}},  // only A-Z are lower-cased in keys
        {"", {}},
        {"&&cmd=flip&&horizontal=true&", {{"cmd", "flip"}, {"horizontal", "true"}}},
        {"a=b=c", {{"a", "b"}}},
        {"a==b", {{"a", "b"}}},
        {"==ab=b", {{"ab", "b"}}},
        {"a=&a&=&==", {}},
        {"a=&a=2", {{"a", "2"}}},  // a later "a" with a value is the first that counts
        {" w=5", {{" w", "5"}}},   // blanks are not trimmed
        // U+FF21 (one unit above the surrogates) sorts after U+1F600 (a
        // surrogate pair) in UTF-16, though its UTF-8 bytes sort before.
        {"\xEF\xBC\xA1=1&\xF0\x9F\x98\x80=2&b=3",
         {{"b", "3"}, {"\xF0\x9F\x98\x80", "2"}, {"\xEF\xBC\xA1", "1"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Pairs(c.text), c.pairs) << c.text;
    EXPECT_EQ(GetLowerString(ParseParams("CMD=Thumb"), "cmd"), "thumb");
    EXPECT_EQ(GetString(ParseParams("keyword=1&key=2"), "key"), "2");
}

TEST(ParseParams, ALongTokenEndsTheParseButKeepsEarlierPairs) {
    EXPECT_EQ(Pairs("a=1&t=" + std::string(2998, 'x') + "&b=2"), (PairList{{"a", "1"}}));
    // The limit counts UTF-16 code units: 2047 units pass, 2048 do not.
    EXPECT_EQ(ParseParams("t=" + std::string(2045, 'y') + "&b=2").size(), 2u);
    EXPECT_EQ(ParseParams("t=" + std::string(2046, 'y') + "&b=2").size(), 0u);
    std::string wide;  // 1000 two-byte characters are 1000 units
    for (int i = 0; i < 1000; ++i)
        wide += "\xC3\xA9";
    EXPECT_EQ(ParseParams("t=" + wide + "&b=2").size(), 2u);
}

TEST(ParamReaders, NumbersReadTheLongestPrefixWithSaturation) {
    ParamMap m = ParseParams(
        "a=12px&b= -7&c=+3&d=x1&e=99999999999&f=-99999999999&g=2147483647&h=-2147483648&i=-&j=\t4");
    const std::pair<const char*, int> ints[] = {
        {"a", 12},         {"b", -7},        {"c", 3},          {"d", 0},
        {"e", 2147483647}, {"f", INT32_MIN}, {"g", 2147483647}, {"h", INT32_MIN},
        {"i", 0},          {"j", 4},         {"absent", 42},
    };
    for (const auto& [key, value] : ints)
        EXPECT_EQ(GetInt(m, key, 42), value) << key;
    // The first-named key wins over its alias.
    ParamMap both = ParseParams("degree=90&angle=45");
    EXPECT_EQ(GetIntEither(both, "degree", "angle", 0), 90);
    EXPECT_EQ(GetIntEither(both, "angle", "degree", 0), 45);
    EXPECT_EQ(GetIntEither(ParseParams("angle=45"), "degree", "angle", 0), 45);
    EXPECT_EQ(GetIntEither(ParseParams("x=1"), "degree", "angle", 7), 7);

    m = ParseParams("a=1.5pt&b= -2.5e1x&c=.25&d=abc&e=inf&f=nan&g=0x10&i=1e-999&j=.&k=-.5");
    const std::pair<const char*, float> floats[] = {
        {"a", 1.5f}, {"b", -25.0f}, {"c", 0.25f}, {"d", 0},
        {"e", 0},    {"f", 0},      {"g", 0},  // "0", then "x" ends the number
        {"i", 0},    {"j", 0},      {"k", -0.5f}, {"absent", 3.5f},
    };
    for (const auto& [key, value] : floats)
        EXPECT_EQ(GetFloat(m, key, 3.5f), value) << key;
    EXPECT_TRUE(std::isinf(GetFloat(ParseParams("h=1e999"), "h", 0)));
}

TEST(ParamReaders, BooleansAndColours) {
    ParamMap m = ParseParams("a=True&b=true&c=t&d=1&e=yes&f=False&g=Tx");
    for (const char* key : {"a", "b", "c", "g"})
        EXPECT_TRUE(GetBool(m, key, false)) << key;
    EXPECT_TRUE(GetBool(m, "absent", true));
    for (const char* key : {"d", "e", "f"})
        EXPECT_FALSE(GetBool(m, key, true)) << key;
    const std::pair<std::string, uint32_t> colours[] = {
        {"ff0000", 0xFFFF0000u},
        {"#80ff0000", 0x80FF0000u},
        {"00000000", 0u},
        {"fff", 0xFFFFFFFFu},
        {"#12G456", 0xFF120456u},
        {"##123456", 0xFFFFFFFFu},  // only one "#" is skipped
        {"1234567", 0xFFFFFFFFu},
        {"\u00E912345", 0xFF012345u},  // six characters, not six bytes: "é" counts as one (0)
    };
    for (const auto& [text, argb] : colours)
        EXPECT_EQ(ParseColor(text), argb) << text;
    EXPECT_EQ(GetColor(ParseParams("bgcolor=000000"), "bgcolor", 1), 0xFF000000u);
    EXPECT_EQ(GetColor(ParseParams("x=1"), "bgcolor", 0x12345678u), 0x12345678u);
}

TEST(ParamReaders, TextIsQueryDecodedAndHonoursTheUtf8Flag) {
    const std::pair<const char*, const char*> decoded[] = {
        {"100%25+sure", "100% sure"},
        {"a%26b", "a&b"},
        {"%4A%4a", "JJ"},
        // "%" before non-hex characters is dropped and the next one copied as it is.
        {"%zz", "zz"},
        {"%+41", "+41"},
        {"%%41", "%41"},
        {"%4g", "4g"},
        // "%" with fewer than two characters after it stays.
        {"50%", "50%"},
        {"5%4", "5%4"},
    };
    for (const auto& [in, out] : decoded)
        EXPECT_EQ(DecodeQueryBytes(in), out) << in;
    EXPECT_EQ(GetText(ParseParams("x=1"), "absent", false), "");

    Vs5Platform::SetAnsiCodePage(1252);
    ParamMap encoded = ParseParams("text=caf%C3%A9");
    EXPECT_EQ(GetText(encoded, "text", true), "caf\xC3\xA9");
    EXPECT_EQ(GetText(encoded, "text", false), "caf\xC3\x83\xC2\xA9");  // two ANSI characters
    // Unencoded non-ASCII text survives only through the ANSI code page.
    ParamMap raw = ParseParams("text=caf\xC3\xA9");
    EXPECT_EQ(GetText(raw, "text", false), "caf\xC3\xA9");
    EXPECT_EQ(GetText(raw, "text", true), "caf\xEF\xBF\xBD");  // byte E9 is no UTF-8
    EXPECT_EQ(GetText(ParseParams("text=\xE4\xB8\xAD"), "text", false), "?");  // not in 1252
}
