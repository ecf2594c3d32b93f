// The log files and the remover of old files, on real folders.
#include "config/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/file_remover.h"
#include "support/temp_dir.h"

using vstest::Exists;
using vstest::ReadFile;

TEST(LogFile, HeadersFollowTheDateAndAFileThatCannotBeCreatedIsTriedAgain) {
    vstest::TempDir dir;
    Vs5Platform::LocalTime now{2026, 3, 5, 10, 20, 30, 0};
    const Vs5Platform::LocalClock clock = [&now] { return now; };
    const std::string request =
        "10:20:30 # Software: Zelkor Vistrel 5 Service\r\n10:20:30 # Version: 1.0\r\n10:20:30 # "
        "Date: 2026-03-05 10:20:30\r\n10:20:30 # ClientIP,ReturnCode,SrcImageFile,PhotoCommand,"
        "CacheHit,ElapsedTime,AdditionalMessage\r\n";
    for (int i = 0; i < 2; ++i) {  // a reopened file gets a header but no second BOM
        LogFile log(clock);
        log.OpenLog(i == 0 ? dir.path() : dir.path() + "/", "%04d%02d%02d.log",
                    LogFile::kRequestLog);
        log.WriteLine("%s,%d\r\n", "127.0.0.1", i);
    }
    EXPECT_EQ(ReadFile(dir / "20260305.log"), "\xEF\xBB\xBF" + request +
                                                  "10:20:30 127.0.0.1,0\r\n" + request +
                                                  "10:20:30 127.0.0.1,1\r\n");

    LogFile log(clock);
    log.OpenLog(dir / "logs", "System_%04d%02d%02d.log", LogFile::kSystemLog);  // no such folder
    EXPECT_FALSE(log.IsOpen());
    log.WriteLine("lost\r\n");
    mkdir((dir / "logs").c_str(), 0755);
    now = {2026, 3, 6, 0, 0, 1, 0};  // a new day tries at once
    log.WriteLine("two\r\n");
    EXPECT_TRUE(log.IsOpen());
    now = {2026, 4, 6, 8, 0, 0, 0};  // same day of the month, a month later
    log.WriteLine("three\r\n");
    log.CloseLog();
    EXPECT_FALSE(log.IsOpen());
    const std::string day2 = ReadFile(dir / "logs/System_20260306.log");
    EXPECT_TRUE(day2.starts_with(std::string("\xEF\xBB\xBF") + "00:00:01 # Software: Zelkor"));
    EXPECT_TRUE(day2.ends_with("00:00:01 # System status logging\r\n00:00:01 two\r\n")) << day2;
    EXPECT_NE(ReadFile(dir / "logs/System_20260406.log")
                  .find("08:00:00 # Date: 2026-04-06 08:00:00\r\n08:00:00 # System status "
                        "logging\r\n08:00:00 three\r\n"),
              std::string::npos);
}

// 1023 UTF-16 units fit, 1024 do not. A line of fewer units but more than 2047
// bytes keeps the whole characters of its first 2045 bytes, and its CR LF.
TEST(LogFile, LinesAreCutAtWholeCharactersAndKeepTheirLineEnd) {
    vstest::TempDir dir;
    LogFile log([] { return Vs5Platform::LocalTime{2026, 3, 5, 10, 20, 30, 0}; });
    log.OpenLog(dir.path(), "%04d%02d%02d.log", LogFile::kSystemLog);
    std::string han;  // 681 characters of one UTF-16 unit and three bytes each
    for (int i = 0; i < 681; ++i)
        han += "\xED\x95\x9C";
    const std::string a1021(1021, 'a');
    for (const std::string& line :
         {a1021 + "\r\n", a1021 + "b\r\n", "cc" + han + "c" + han.substr(0, 900) + "\r\n"})
        log.WriteText(line);
    log.WriteLine("caf\xC3\xA9 %s\r\n", "\xED\x95\x9C");
    log.CloseLog();
    std::string text = ReadFile(dir / "20260305.log");
    EXPECT_EQ(text.substr(text.find("logging\r\n") + 9),
              "10:20:30 " + a1021 + "\r\nInvalid log data\r\n10:20:30 cc" + han +
                  "\r\n10:20:30 caf\xC3\xA9 \xED\x95\x9C\r\n");
}

TEST(FileRemover, RemovesByAgeWithPatternRecursionAndFolders) {
    vstest::TempDir dir, elsewhere;
    std::filesystem::create_directories(dir / "sub");
    for (const char* name : {"a.log", "b.txt", "noext", "sub/c.log", "spared.log"})
        vstest::WriteFile(dir / name, "x");
    // Links are aged and removed themselves, dangling or not; their targets stay.
    vstest::WriteFile(elsewhere / "target", "x");
    for (auto [link, target] : {std::pair{"live", elsewhere / "target"},
                                {"dangling", dir / "gone"},
                                {"folder", elsewhere.path()}})
        ASSERT_EQ(symlink(target.c_str(), (dir / link).c_str()), 0);
    Vs5Util::CFileRemover remover;
    remover.Spare(dir / "spared.log");
    const Vs5Platform::FileTime now = Vs5Platform::FileTimeNow(),
                                day = 86400 * Vs5Platform::kFileTimeUnitsPerSecond;
    const struct {
        const char* pattern;
        int days;
        bool folders;
        Vs5Platform::FileTime at;
        std::vector<const char*> gone, kept;
    } steps[] = {
        // Exactly 30 days old is not older than 30 days; a day later it is. The
        // pattern applies to folders as well.
        {"*.log", 30, false, now + 30 * day, {}, {"a.log", "sub/c.log"}},
        {"*.log", 30, false, now + 31 * day, {"a.log"}, {"b.txt", "sub/c.log", "spared.log"}},
        // A file from the future (a clock set back) is brand new.
        {"*.*", -1, false, now - day, {}, {"b.txt"}},
        // "*.*" matches names without a dot too; folders stay unless asked.
        {"*.*",
         0,
         false,
         now + day,
         {"b.txt", "noext", "sub/c.log", "live", "folder", "dangling"},
         {"sub", "spared.log"}},
        {"*.*", 0, true, now + day, {"sub"}, {"spared.log"}}};
    for (const auto& s : steps) {
        EXPECT_TRUE(remover.RemoveOldFiles(dir.path(), s.pattern, s.days, s.folders, s.at));
        for (const char* name : s.gone)  // a dangling link does not exist either
            EXPECT_FALSE(Exists(dir / name) || std::filesystem::is_symlink(dir / name)) << name;
        for (const char* name : s.kept)
            EXPECT_TRUE(Exists(dir / name)) << name;
    }
    EXPECT_TRUE(remover.RemoveOldFiles(dir / "missing", "*.*", 0, false));
    EXPECT_TRUE(Exists(elsewhere / "target"));
}
