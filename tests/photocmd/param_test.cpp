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

PairList Pairs(const ParamMap& map) {
    return {map.begin(), map.end()};
}

}  // namespace

TEST(ParseParams, SplitsPairsLowerCasesKeysAndKeepsTheFirstOccurrence) {
    EXPECT_EQ(Pairs(ParseParams("cmd=thumb&w=120&h=90")),
              (PairList{{"cmd", "thumb"}, {"h", "90"}, {"w", "120"}}));

    ParamMap upper = ParseParams("CMD=Thumb&W=5");
    EXPECT_EQ(GetString(upper, "cmd"), "Thumb");
    EXPECT_EQ(GetLowerString(upper, "cmd"), "thumb");

    EXPECT_EQ(GetInt(ParseParams("cmd=crop&x=5&x=9"), "x", 0), 5);
    EXPECT_EQ(GetInt(ParseParams("cmd=crop&X=5&x=9"), "x", 0), 5);
    // Only A-Z are lower-cased in keys.
    EXPECT_EQ(Pairs(ParseParams("\xC3\x84x=1")), (PairList{{"\xC3\x84x", "1"}}));
    EXPECT_TRUE(ParseParams("").empty());
}

TEST(ParseParams, RunsOfSeparatorsMakeNoEmptyPairs) {
    EXPECT_EQ(Pairs(ParseParams("&&cmd=flip&&horizontal=true&")),
              (PairList{{"cmd", "flip"}, {"horizontal", "true"}}));
    EXPECT_EQ(Pairs(ParseParams("a=b=c")), (PairList{{"a", "b"}}));
    EXPECT_EQ(Pairs(ParseParams("a==b")), (PairList{{"a", "b"}}));
    EXPECT_EQ(Pairs(ParseParams("==a=b")), (PairList{{"a", "b"}}));
    EXPECT_TRUE(ParseParams("a=&a&=&==").empty());
    // A later "a" with a value is the first one that counts.
    EXPECT_EQ(GetString(ParseParams("a=&a=2"), "a"), "2");
    // Neither "&" nor "=" can be in a value; blanks are not trimmed.
    EXPECT_EQ(Pairs(ParseParams("cmd=text&text=a&b=c")),
              (PairList{{"b", "c"}, {"cmd", "text"}, {"text", "a"}}));
    EXPECT_EQ(Pairs(ParseParams(" w=5")), (PairList{{" w", "5"}}));
}

TEST(ParseParams, ALongTokenEndsTheParseButKeepsEarlierPairs) {
    std::string longValue(3000 - 2, 'x');
    ParamMap map = ParseParams("a=1&t=" + longValue + "&b=2");
    EXPECT_EQ(Pairs(map), (PairList{{"a", "1"}}));

    // The limit counts UTF-16 code units: 2047 units pass, 2048 do not.
    std::string fits = "t=" + std::string(2045, 'y');
    EXPECT_EQ(ParseParams(fits + "&b=2").size(), 2u);
    EXPECT_EQ(ParseParams("t=" + std::string(2046, 'y') + "&b=2").size(), 0u);
    // 1000 two-byte characters are 1000 units, not 2000 bytes.
    std::string wide;
    for (int i = 0; i < 1000; ++i)
        wide += "\xC3\xA9";
    EXPECT_EQ(ParseParams("t=" + wide + "&b=2").size(), 2u);
}

TEST(ParamMap, KeysAreOrderedByUtf16CodeUnits) {
    // U+FF21 (a single unit above the surrogates) sorts after U+1F600 (a
    // surrogate pair) in UTF-16, though its UTF-8 bytes sort before.
    ParamMap map = ParseParams("\xEF\xBC\xA1=1&\xF0\x9F\x98\x80=2&b=3");
    std::vector<std::string> keys;
    for (const auto& [k, v] : map)
        keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"b", "\xF0\x9F\x98\x80", "\xEF\xBC\xA1"}));
}

TEST(ParamReaders, IntegersReadLikeStrtolWithSaturation) {
    ParamMap m = ParseParams(
        "a=12px&b= -7&c=+3&d=x1&e=99999999999&f=-99999999999&g=2147483647&h=-2147483648&i=-");
    EXPECT_EQ(GetInt(m, "a", 0), 12);
    EXPECT_EQ(GetInt(m, "b", 0), -7);
    EXPECT_EQ(GetInt(m, "c", 0), 3);
    EXPECT_EQ(GetInt(m, "d", 5), 0);
    EXPECT_EQ(GetInt(m, "e", 0), 2147483647);
    EXPECT_EQ(GetInt(m, "f", 0), -2147483647 - 1);
    EXPECT_EQ(GetInt(m, "g", 0), 2147483647);
    EXPECT_EQ(GetInt(m, "h", 0), -2147483647 - 1);
    EXPECT_EQ(GetInt(m, "i", 4), 0);
    EXPECT_EQ(GetInt(m, "absent", 42), 42);

    // The first-named key wins over its alias.
    ParamMap both = ParseParams("degree=90&angle=45");
    EXPECT_EQ(GetIntEither(both, "degree", "angle", 0), 90);
    EXPECT_EQ(GetIntEither(both, "angle", "degree", 0), 45);
    EXPECT_EQ(GetIntEither(ParseParams("angle=45"), "degree", "angle", 0), 45);
    EXPECT_EQ(GetIntEither(ParseParams("x=1"), "degree", "angle", 7), 7);
}

TEST(ParamReaders, FloatsReadTheLongestDecimalPrefix) {
    ParamMap m = ParseParams("a=1.5pt&b= -2.5e1x&c=.25&d=abc&e=inf&f=nan&g=0x10&h=1e999&i=1e-999");
    EXPECT_FLOAT_EQ(GetFloat(m, "a", 0), 1.5f);
    EXPECT_FLOAT_EQ(GetFloat(m, "b", 0), -25.0f);
    EXPECT_FLOAT_EQ(GetFloat(m, "c", 0), 0.25f);
    EXPECT_EQ(GetFloat(m, "d", 9), 0.0f);
    EXPECT_EQ(GetFloat(m, "e", 9), 0.0f);
    EXPECT_EQ(GetFloat(m, "f", 9), 0.0f);
    EXPECT_EQ(GetFloat(m, "g", 9), 0.0f);  // "0", then "x" ends the number
    EXPECT_TRUE(std::isinf(GetFloat(m, "h", 0)));
    EXPECT_EQ(GetFloat(m, "i", 9), 0.0f);
    EXPECT_EQ(GetFloat(m, "absent", 3.5f), 3.5f);
}

TEST(ParamReaders, BooleansLookAtTheFirstCharacterOnly) {
    ParamMap m = ParseParams("a=True&b=true&c=t&d=1&e=yes&f=False&g=Tx");
    EXPECT_TRUE(GetBool(m, "a", false));
    EXPECT_TRUE(GetBool(m, "b", false));
    EXPECT_TRUE(GetBool(m, "c", false));
    EXPECT_FALSE(GetBool(m, "d", true));
    EXPECT_FALSE(GetBool(m, "e", true));
    EXPECT_FALSE(GetBool(m, "f", true));
    EXPECT_TRUE(GetBool(m, "g", false));
    EXPECT_TRUE(GetBool(m, "absent", true));
}

TEST(ParamReaders, ColoursAreRrggbbOrAarrggbb) {
    EXPECT_EQ(ParseColor("ff0000"), 0xFFFF0000u);
    EXPECT_EQ(ParseColor("#80ff0000"), 0x80FF0000u);
    EXPECT_EQ(ParseColor("00000000"), 0u);
    EXPECT_EQ(ParseColor("fff"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseColor("#12G456"), 0xFF120456u);
    EXPECT_EQ(ParseColor("##123456"), 0xFFFFFFFFu);  // only one "#" is skipped
    EXPECT_EQ(ParseColor("1234567"), 0xFFFFFFFFu);
    // Six characters, not six bytes: a non-ASCII character counts as one (0).
    EXPECT_EQ(ParseColor("\xC3\xA9"
                         "12345"),
              0xFF012345u);
    EXPECT_EQ(GetColor(ParseParams("bgcolor=000000"), "bgcolor", 1), 0xFF000000u);
    EXPECT_EQ(GetColor(ParseParams("x=1"), "bgcolor", 0x12345678u), 0x12345678u);
}

TEST(ParamReaders, TextIsQueryDecoded) {
    EXPECT_EQ(DecodeQueryBytes("100%25+sure"), "100% sure");
    EXPECT_EQ(DecodeQueryBytes("a%26b"), "a&b");
    // "%" before non-hex characters is dropped and the next character copied
    // as it is, even a "+" or "%".
    EXPECT_EQ(DecodeQueryBytes("%zz"), "zz");
    EXPECT_EQ(DecodeQueryBytes("%+41"), "+41");
    EXPECT_EQ(DecodeQueryBytes("%%41"), "%41");
    EXPECT_EQ(DecodeQueryBytes("%4g"), "4g");
    // "%" with fewer than two characters after it stays.
    EXPECT_EQ(DecodeQueryBytes("50%"), "50%");
    EXPECT_EQ(DecodeQueryBytes("5%4"), "5%4");

    ParamMap m = ParseParams("text=100%25+sure&empty=%");
    EXPECT_EQ(GetText(m, "text", false), "100% sure");
    EXPECT_EQ(GetText(m, "absent", false), "");
}

TEST(ParamReaders, TextHonoursTheUtf8Flag) {
    Vs5Platform::SetAnsiCodePage(1252);
    // Percent-encoded UTF-8 of "café" with utf8=true.
    ParamMap encoded = ParseParams("text=caf%C3%A9");
    EXPECT_EQ(GetText(encoded, "text", true), "caf\xC3\xA9");
    // Read as ANSI the same bytes are two characters.
    EXPECT_EQ(GetText(encoded, "text", false), "caf\xC3\x83\xC2\xA9");

    // Unencoded non-ASCII text survives only through the ANSI code page.
    ParamMap raw = ParseParams("text=caf\xC3\xA9");
    EXPECT_EQ(GetText(raw, "text", false), "caf\xC3\xA9");
    EXPECT_EQ(GetText(raw, "text", true), "caf\xEF\xBF\xBD");  // byte E9 is no UTF-8
    // A character the code page lacks becomes "?".
    EXPECT_EQ(GetText(ParseParams("text=\xE4\xB8\xAD"), "text", false), "?");
}
