// The operating-system layer against real text, files and processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/file_time.h"
#include "platform/ini_file.h"
#include "platform/local_time.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/temp_dir.h"

using namespace Vs5Platform;

TEST(Text, Utf8DecodesToUtf16AndMalformedBytesEachBecomeAReplacement) {
    const std::u16string bad = u"\uFFFD";
    struct Case {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"a\xC3\xA9\xED\x95\x9C\xF0\x9F\x98\x80", u"a\u00E9\uD55C\U0001F600"},
        {"\xC2\x80\xDF\xBF\xE0\xA0\x80", u"\u0080\u07FF\u0800"},  // smallest of each length
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0010FFFF"},
        {"\xC1\xBF", bad + bad},                      // overlong
        {"\xE0\x9F\xBF", bad + bad + bad},            // overlong
        {"\xED\xA0\x80", bad + bad + bad},            // a surrogate
        {"\xF4\x90\x80\x80", bad + bad + bad + bad},  // beyond U+10FFFF
        {"\xF5\x80\x80\x80", bad + bad + bad + bad},  // no such lead byte
        {"\xE2\x82", bad + bad},                      // cut short
        {"\xE2\x82\x41", bad + bad + u"A"},           // interrupted
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(Utf16Length(c.utf8), c.utf16.size()) << c.utf8;
        if (c.utf16.find(bad) == std::u16string::npos) {
            EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
        }
    }
    // A lone surrogate unit has no UTF-8 form.
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800\x62"), "a\xEF\xBF\xBD\x62");
}

TEST(Text, TruncationCaseAndTokens) {
    std::string s = "a\xC3\xA9\xED\x95\x9C\xF0\x9F\x98\x80";  // 1, 2, 3 and 4 bytes
    // Truncation never splits a surrogate pair or a UTF-8 sequence.
    EXPECT_EQ(TruncateUtf16(s, 4), "a\xC3\xA9\xED\x95\x9C");
    EXPECT_EQ(TruncateUtf16(s, 5), s);
    EXPECT_EQ(TruncateUtf8Bytes(s, 4), "a\xC3\xA9");
    EXPECT_EQ(AsciiLower("@AZ[`az{\xC3\x89"), "@az[`az{\xC3\x89");
    EXPECT_TRUE(EqualsNoCase("ImageJpeg", "IMAGEjpeg"));
    EXPECT_FALSE(EqualsNoCase("Image", "Images"));

    // Separator runs are one, quotes keep separators, and the callback can stop.
    std::vector<std::string> tokens;
    ForEachToken(";;key;;\"a;b\";c;\"d", ";", [&](std::string_view t) {
        tokens.emplace_back(t);
        return tokens.size() < 3;
    });
    EXPECT_EQ(tokens, (std::vector<std::string>{"key", "a;b", "c"}));
    tokens.clear();  // trailing separators make no empty token
    ForEachToken("a;;", ";", [&](std::string_view t) { return tokens.emplace_back(t), true; });
    EXPECT_EQ(tokens, (std::vector<std::string>{"a"}));
}

TEST(CodePage, ConvertsThroughTheNamedCodePage) {
    struct Case {
        int codePage;
        std::string utf8, bytes;
    } cases[] = {
        {1252, "caf\xC3\xA9", "caf\xE9"},
        {65001, "\xED\x95\x9C", "\xED\x95\x9C"},
        {0, "caf\xC3\xA9", "caf\xE9"},       // 0 and 3: the ANSI code page
        {123456, "caf\xC3\xA9", "caf\xE9"},  // unknown: 1252
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToCodePage(c.utf8, c.codePage), c.bytes) << c.codePage;
        EXPECT_EQ(CodePageToUtf8(c.bytes, c.codePage), c.utf8) << c.codePage;
    }
    // What the code page cannot hold becomes '?', and bytes it does not define U+FFFD.
    EXPECT_EQ(Utf8ToCodePage("a\xED\x95\x9C\x62\xF0\x9F\x98\x80", 1252), "a?b?");
    EXPECT_EQ(CodePageToUtf8("a\x81\x62", 1252), "a\xEF\xBF\xBD\x62");
    const std::tuple<int, bool, bool> known[] = {
        {1252, true, true}, {0, true, false}, {3, true, false}, {123456, false, false}};
    for (auto [codePage, isKnown, ascii] : known) {
        EXPECT_EQ(IsKnownCodePage(codePage), isKnown) << codePage;
        EXPECT_EQ(IsAsciiCompatibleCodePage(codePage), ascii) << codePage;
    }
    SetAnsiCodePage(949);
    EXPECT_EQ(CodePageToUtf8("\xC7\xD1", 3), "\xED\x95\x9C");
    for (int notOwn : {0, 3, 123456}) {
        SetAnsiCodePage(notOwn);  // not a code page of its own: the default
        EXPECT_EQ(AnsiCodePage(), kDefaultAnsiCodePage) << notOwn;
    }
}

TEST(IniFile, ProfileSemantics) {
    IniFile ini = IniFile::Parse(
        "\xEF\xBB\xBF[Server]\r\n"
        "; comment\r\n"
        "  Port = 8080  \r\n"
        "port=1\r\n"
        "Name=\"  quoted  \"\r\n"
        "Quotes=\"\"\r\n"
        "Empty=\r\n"
        "[server]\r\n"
        "Other=3\r\n"
        "[Image]\n"
        "Q=abc\n");
    EXPECT_EQ(ini.GetInt("SERVER", "PORT", 0), 8080);  // case-insensitive, first wins
    EXPECT_EQ(ini.GetString("Server", "Name", ""), "  quoted  ");
    EXPECT_EQ(ini.GetString("Server", "Quotes", "def"), "");
    EXPECT_EQ(ini.GetString("Server", "Empty", "def"), "");  // present but empty
    EXPECT_EQ(ini.GetString("Server", "Missing", "def"), "def");
    EXPECT_EQ(ini.GetInt("Server", "Other", 7), 7);             // a repeated section adds nothing
    EXPECT_EQ(ini.GetInt("Image", "Q", 5), 5);                  // not a number: default
    EXPECT_EQ(ini.GetString("Server", "Name", "", 5), "  qu");  // buffer of 5 holds 4
    EXPECT_EQ(IniFile::Load("/nonexistent/vistrel5.ini").GetInt("Server", "Port", 19985), 19985);
    // clang-format off
    const std::pair<const char*, int> ints[] = {
        {"-12abc", -12}, {"+70", 70}, {" 0x1F", 31}, {"0X1f", 31}, {"", 9}, {"-", 9},
        {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}};
    // clang-format on
    for (auto [text, value] : ints)
        EXPECT_EQ(ParseProfileInt(text, 9), value) << text;
}

TEST(Time, AutomationDatesAndFileTimes) {
    for (auto [t, date] : {std::pair{LocalTime{1899, 12, 30}, 0.0},
                           {LocalTime{1970, 1, 1}, 25569.0},
                           {LocalTime{1900, 3, 1, 18}, 61.75},
                           {LocalTime{2000, 3, 1, 12, 0, 0, 0}, 36586.5},
                           {LocalTime{2024, 2, 29, 0, 1, 30, 500}, 45351 + 90.5 / 86400},
                           {LocalTime{1600, 2, 29}, -109512.0}})
        EXPECT_DOUBLE_EQ(AutomationDate(t), date) << t.year;
    const LocalTime day{2026, 3, 5, 10};
    for (auto [other, same] : {std::pair{LocalTime{2026, 3, 5, 23, 59}, true},
                               {LocalTime{2027, 3, 5}, false},
                               {LocalTime{2026, 4, 5}, false},
                               {LocalTime{2026, 3, 6}, false}})
        EXPECT_EQ(day.SameDate(other), same) << other.year << other.month << other.day;

    EXPECT_EQ(FileTimeFromTimespec({0, 0}), 116444736000000000ull);
    EXPECT_EQ(FileTimeFromTimespec({1, 999}), 116444736010000009ull);
    timespec back = TimespecFromFileTime(116444736010000009ull);
    EXPECT_TRUE(back.tv_sec == 1 && back.tv_nsec == 900);
    vstest::TempDir dir;
    vstest::WriteFile(dir / "f", "x");
    ASSERT_TRUE(SetLastWriteTime(dir / "f", 133000000001234567ull));
    EXPECT_EQ(LastWriteTime(dir / "f"), 133000000001234567ull);
    EXPECT_LE(*CreationTime(dir / "f"), FileTimeNow());
    ASSERT_EQ(symlink((dir / "gone").c_str(), (dir / "link").c_str()), 0);
    EXPECT_FALSE(LastWriteTime(dir / "gone") || CreationTime(dir / "link"));
    EXPECT_TRUE(CreationTime(dir / "link", false));  // the link's own time
}

TEST(Process, SpawnWaitKillAndFindOnPath) {
    vstest::TempDir dir;
    int error = 0, code = 0;
    pid_t pid = SpawnProcess({"/bin/sh", "-c", "pwd > where; exit 3"}, dir.path(), error);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitProcess(pid, 20000, code));
    EXPECT_EQ(code, 3);
    EXPECT_EQ(vstest::ReadFile(dir / "where"), dir.path() + "\n");
    EXPECT_TRUE(WaitProcess(pid, 0, code));  // reaped already
    EXPECT_EQ(code, 255);

    pid = SpawnProcess({"/bin/sh", "-c", "kill -9 $$"}, "", error);
    EXPECT_TRUE(WaitProcess(pid, -1, code));
    EXPECT_EQ(code, 128 + 9);
    pid = SpawnProcess({"/bin/sleep", "30"}, "", error);
    EXPECT_FALSE(WaitProcess(pid, 0, code));
    KillProcess(pid);
    EXPECT_TRUE(WaitProcess(pid, 0, code));
    EXPECT_EQ(code, 255);
    EXPECT_EQ(SpawnProcess({dir / "missing"}, "", error), -1);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(SpawnProcess({}, "", error), -1);
    EXPECT_EQ(error, EINVAL);

    // Only regular files this process may run are found; an empty entry is the
    // working folder.
    std::filesystem::create_directories(dir / "a/tool");
    std::filesystem::create_directories(dir / "b");
    for (const char* name : {"b/tool", "tool"})
        vstest::WriteFile(dir / name, "#!/bin/sh\n");
    chmod((dir / "tool").c_str(), 0755);
    const std::string path = getenv("PATH"), cwd = std::filesystem::current_path();
    setenv("PATH", (dir / "a:" + dir / "b:").c_str(), 1);
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(FindOnPath("tool"), "./tool");
    EXPECT_EQ(FindOnPath("sh"), "");
    std::filesystem::current_path(cwd);
    setenv("PATH", path.c_str(), 1);
}
