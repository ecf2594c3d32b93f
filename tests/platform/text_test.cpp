#include "platform/text.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

using namespace Vs5Platform;

TEST(Text, Utf16RoundTripAndLengths) {
    std::string s = "a\xC3\xA9\xED\x95\x9C\xF0\x9F\x98\x80";  // a, e-acute, Hangul HAN, emoji
    EXPECT_EQ(Utf16Length(s), 5u);
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
    // Truncation never splits a surrogate pair or a UTF-8 sequence.
    EXPECT_EQ(TruncateUtf16(s, 4), "a\xC3\xA9\xED\x95\x9C");
    EXPECT_EQ(TruncateUtf8Bytes(s, 4), "a\xC3\xA9");
    EXPECT_EQ(TruncateUtf8Bytes(s, 2), "a");
    // Malformed input decodes to U+FFFD rather than being dropped or over-read.
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), std::u16string(u"\uFFFD\uFFFD"));
}

TEST(Text, LowerCaseTouchesOnlyAsciiLetters) {
    EXPECT_EQ(AsciiLower("ThUMB\xC3\x89-1"), "thumb\xC3\x89-1");
}

TEST(Text, TokenizerQuotesAndSeparatorRuns) {
    std::vector<std::string> tokens;
    ForEachToken(" -a  \"b c\"\t-d \"unterminated e", " \t", [&](std::string_view t) {
        tokens.emplace_back(t);
        return true;
    });
    EXPECT_EQ(tokens, (std::vector<std::string>{"-a", "b c", "-d", "unterminated e"}));
    tokens.clear();
    ForEachToken(";;key;;\"a;b\";c;d", ";", [&](std::string_view t) {
        tokens.emplace_back(t);
        return tokens.size() < 3;
    });
    EXPECT_EQ(tokens, (std::vector<std::string>{"key", "a;b", "c"}));
}

TEST(CodePage, ConvertsThroughTheNamedCodePage) {
    EXPECT_EQ(Utf8ToCodePage("caf\xC3\xA9", 1252), "caf\xE9");
    EXPECT_EQ(CodePageToUtf8("caf\xE9", 1252), "caf\xC3\xA9");
    // Hangul in CP949 is two bytes a character.
    std::string korean = Utf8ToCodePage("\xED\x95\x9C", 949);
    EXPECT_EQ(korean.size(), 2u);
    EXPECT_EQ(CodePageToUtf8(korean, 949), "\xED\x95\x9C");
    // Characters the code page cannot hold become '?'.
    EXPECT_EQ(Utf8ToCodePage("a\xED\x95\x9C"
                             "b",
                             1252),
              "a?b");
    EXPECT_FALSE(IsKnownCodePage(123456));

    // 0 and 3 mean "the ANSI code page", whichever is configured.
    EXPECT_EQ(CodePageToUtf8("caf\xE9", 0), "caf\xC3\xA9");
    SetAnsiCodePage(949);
    EXPECT_EQ(CodePageToUtf8(korean, 3), "\xED\x95\x9C");
    EXPECT_TRUE(IsKnownCodePage(0));
    SetAnsiCodePage(0);  // not a code page of its own: the default
    EXPECT_EQ(AnsiCodePage(), kDefaultAnsiCodePage);
}
