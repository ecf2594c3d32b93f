#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "photocmd/param_map.h"
#include "photocmd/param_readers.h"

using namespace Vs4Command;

namespace {

std::vector<std::pair<std::string, std::string>> Pairs(const ParamMap& map) {
    return {map.begin(), map.end()};
}

using PairList = std::vector<std::pair<std::string, std::string>>;

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
