#include "config/log_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/temp_dir.h"

using Vs5Platform::LocalTime;
using vstest::ReadFile;

namespace {

struct FakeClock {
    LocalTime now{2026, 3, 5, 10, 20, 30, 0};
    Vs5Platform::LocalClock fn() {
        return [this] { return now; };
    }
};

const char kRequestHeader[] =
    "10:20:30 # Software: Zelkor Vistrel 5 Service\r\n"
    "10:20:30 # Version: 1.0\r\n"
    "10:20:30 # Date: 2026-03-05 10:20:30\r\n"
    "10:20:30 # ClientIP,ReturnCode,SrcImageFile,PhotoCommand,CacheHit,ElapsedTime,"
    "AdditionalMessage\r\n";

}  // namespace

TEST(LogFile, NewFileHasBomAndHeaderAndReopenAppendsHeader) {
    vstest::TempDir dir;
    FakeClock clock;
    {
        LogFile log(clock.fn());
        log.OpenLog(dir.path(), "%04d%02d%02d.log", LogFile::kRequestLog);
        log.WriteLine("%s,%d\r\n", "127.0.0.1", 0);
    }
    std::string first = std::string("\xEF\xBB\xBF") + kRequestHeader + "10:20:30 127.0.0.1,0\r\n";
    EXPECT_EQ(ReadFile(dir / "20260305.log"), first);

    LogFile again(clock.fn());
    again.OpenLog(dir.path() + "/", "%04d%02d%02d.log", LogFile::kRequestLog);
    again.CloseLog();
    EXPECT_EQ(ReadFile(dir / "20260305.log"), first + kRequestHeader);  // no second BOM

    LogFile system(clock.fn());
    system.OpenLog(dir.path(), "System_%04d%02d%02d.log", LogFile::kSystemLog);
    system.CloseLog();
    std::string sys = ReadFile(dir / "System_20260305.log");
    EXPECT_NE(sys.find("10:20:30 # System status logging\r\n"), std::string::npos);
}

TEST(LogFile, FollowsTheWholeDate) {
    vstest::TempDir dir;
    FakeClock clock;
    LogFile log(clock.fn());
    log.OpenLog(dir.path(), "%04d%02d%02d.log", LogFile::kSystemLog);
    log.WriteLine("one\r\n");
    clock.now = {2026, 3, 6, 0, 0, 1, 0};  // just after midnight
    log.WriteLine("two\r\n");
    clock.now = {2026, 4, 6, 8, 0, 0, 0};  // same day of the month, a month later
    log.WriteLine("three\r\n");
    log.CloseLog();
    EXPECT_NE(ReadFile(dir / "20260305.log").find("one"), std::string::npos);
    std::string day2 = ReadFile(dir / "20260306.log");
    EXPECT_EQ(day2.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_NE(day2.find("00:00:01 # Date: 2026-03-06 00:00:01\r\n"), std::string::npos);
    EXPECT_NE(day2.find("00:00:01 two\r\n"), std::string::npos);
    EXPECT_EQ(day2.find("three"), std::string::npos);
    EXPECT_NE(ReadFile(dir / "20260406.log").find("08:00:00 three\r\n"), std::string::npos);
}

TEST(LogFile, LongLinesAndNonAsciiText) {
    vstest::TempDir dir;
    FakeClock clock;
    LogFile log(clock.fn());
    log.OpenLog(dir.path(), "%04d%02d%02d.log", LogFile::kSystemLog);
    // 1023 characters fit; 1024 do not.
    log.WriteText(std::string(1021, 'a') + "\r\n");
    log.WriteText(std::string(1022, 'b') + "\r\n");
    // 1000 Hangul syllables are 1002 units but 3002 UTF-8 bytes: cut at a character, CR LF kept.
    std::string hangul;
    for (int i = 0; i < 1000; ++i)
        hangul += "\xED\x95\x9C";
    log.WriteText(hangul + "\r\n");
    log.WriteLine("caf\xC3\xA9 %s\r\n", "\xED\x95\x9C");
    log.CloseLog();

    std::string text = ReadFile(dir / "20260305.log");
    EXPECT_NE(text.find("10:20:30 " + std::string(1021, 'a') + "\r\n"), std::string::npos);
    EXPECT_EQ(text.find("bbbb"), std::string::npos);
    EXPECT_NE(text.find("\r\nInvalid log data\r\n"), std::string::npos);
    size_t start = text.find("\xED\x95\x9C");
    size_t end = text.find("\r\n", start);
    EXPECT_EQ(end - start, 2043u);  // 681 whole characters within 2047 bytes less CR LF
    EXPECT_NE(text.find("10:20:30 caf\xC3\xA9 \xED\x95\x9C\r\n"), std::string::npos);
}

TEST(LogFile, AFileThatCannotBeCreatedIsTriedAgainLater) {
    vstest::TempDir dir;
    FakeClock clock;
    std::string folder = dir / "logs";
    LogFile log(clock.fn());
    log.OpenLog(folder, "%04d%02d%02d.log", LogFile::kSystemLog);  // the folder does not exist
    EXPECT_FALSE(log.IsOpen());
    log.WriteLine("lost\r\n");
    mkdir(folder.c_str(), 0755);
    clock.now.day = 6;  // a new day tries at once
    log.WriteLine("kept\r\n");
    EXPECT_TRUE(log.IsOpen());
    log.CloseLog();
    std::string text = ReadFile(folder + "/20260306.log");
    EXPECT_NE(text.find("# Software"), std::string::npos);
    EXPECT_NE(text.find("10:20:30 kept\r\n"), std::string::npos);
}
