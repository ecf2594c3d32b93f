#include "config/configuration.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/file_time.h"
#include "support/temp_dir.h"
#include "support/text_count.h"

using vstest::Exists;
using vstest::ReadFile;
using vstest::WriteFile;

TEST(Configuration, LoadCreatesFoldersCleansTemporaryFilesAndOpensLogs) {
    vstest::TempDir home;
    std::filesystem::create_directories(home / "TempFiles/inner");
    WriteFile(home / "TempFiles/old.tmp", "x");
    WriteFile(home / "TempFiles/inner/old2.tmp", "x");
    // Files must be older than 0 whole seconds to count as old.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    WriteFile(home / "vistrel5.ini", "[Server]\nCacheSubFolders=3\nCachePath=/proc/forbidden\n");

    Configuration config;
    ASSERT_TRUE(config.Load(home.path()));
    for (const char* sub : {"LogFiles", "TempFiles", "Cache", "Cache/nocache", "Frame", "Command",
                            "Command/Images", "Cache/cache0000", "Cache/cache0002"})
        EXPECT_TRUE(Exists(home / sub)) << sub;
    EXPECT_FALSE(Exists(home / "Cache/cache0003"));
    EXPECT_FALSE(Exists(home / "TempFiles/old.tmp"));
    EXPECT_FALSE(Exists(home / "TempFiles/inner/old2.tmp"));
    EXPECT_TRUE(Exists(home / "TempFiles/inner"));    // sub-folders are entered, not removed
    EXPECT_EQ(config.cacheFolder(), home / "Cache");  // CachePath could not be created
    EXPECT_EQ(config.noCacheFolder(), home / "Cache/nocache");
    EXPECT_EQ(config.imageFolder(), home / "Command/Images");
    EXPECT_TRUE(config.requestLog().IsOpen());
    EXPECT_TRUE(config.systemLog().IsOpen());
    EXPECT_NE(config.iniTimeStamp(), 0u);
    // The failure is in the request log although it happened before the log opened.
    EXPECT_NE(ReadFile(config.requestLog().CurrentPath())
                  .find("# Cannot create a directory specified by ServerCachePath (2).\r\n"),
              std::string::npos);
}

TEST(Configuration, CachePathReplacesTheCacheFolderButNotTheNoCacheFolder) {
    vstest::TempDir home;
    WriteFile(home / "vistrel5.ini", "[Server]\nCachePath=" + (home / "elsewhere") + "\n");
    Configuration config;
    config.Load(home.path());
    EXPECT_EQ(config.cacheFolder(), home / "elsewhere");
    EXPECT_TRUE(Exists(home / "elsewhere/cache0007"));
    EXPECT_EQ(config.noCacheFolder(), home / "Cache/nocache");
}

TEST(Configuration, KeyedLookupsUseTheLowerCaseSubstringRule) {
    vstest::TempDir home;
    WriteFile(home / "vistrel5.ini",
              "[DefaultCommand]\nCommand0=Thumb;cmd=thumb&w=100\nCommand1=img;cmd=resize\n"
              "[Impersonation]\nImpersonate0=share;bob;secret\n");
    Configuration config;
    config.Load(home.path());
    std::string command;
    for (const char* path : {"c:/img/thumb.jpg", "C:/IMG/THUMBS/A.JPG", "d:/mythumbnail.png"}) {
        EXPECT_TRUE(config.FindDefaultCommand(path, command)) << path;
        EXPECT_EQ(command, "cmd=thumb&w=100");  // the first matching entry wins
    }
    EXPECT_TRUE(config.FindDefaultCommand("/srv/IMG/a.jpg", command));
    EXPECT_EQ(command, "cmd=resize");
    EXPECT_FALSE(config.FindDefaultCommand("/srv/photos/a.jpg", command));
    std::string user, password;
    EXPECT_TRUE(config.FindImpersonation("//SHARE/a.jpg", user, password));
    EXPECT_EQ(user, "bob");
    EXPECT_EQ(password, "secret");
    EXPECT_FALSE(config.FindImpersonation("/local/a.jpg", user, password));
}

TEST(Configuration, TheListenerSeesEveryReading) {
    vstest::TempDir home;
    WriteFile(home / "vistrel5.ini", "[ImageProcessing]\nMaxImagePixels=1000\n");
    Configuration config;
    std::vector<int64_t> seen;
    config.SetSettingsListener([&](const Settings& s) { seen.push_back(s.maxImagePixels); });
    config.Load(home.path());
    WriteFile(home / "vistrel5.ini", "[ImageProcessing]\nMaxImagePixels=2000\n");
    config.ReadSettings(false);
    EXPECT_EQ(seen, (std::vector<int64_t>{1000, 2000}));
}

TEST(Configuration, RequestLinesFollowTheLoggingSwitches) {
    vstest::TempDir home;
    WriteFile(home / "vistrel5.ini", "[Server]\nLogErrorsOnly=true\n");
    Configuration config;
    config.Load(home.path());
    config.LogRequest("127.0.0.1", 0, "/a.jpg", "cmd=thumb", 1, 5);
    config.LogRequest("127.0.0.1", 103, "/b.jpg", "cmd=poster", 0, 7);
    config.LogRequestWithMessage("127.0.0.1", 107, "capture", "cmd=x", 9, "tool failed");
    std::string text = ReadFile(config.requestLog().CurrentPath());
    EXPECT_EQ(text.find("/a.jpg"), std::string::npos);
    EXPECT_NE(text.find(" 127.0.0.1,103,/b.jpg,cmd=poster,0,7\r\n"), std::string::npos);
    EXPECT_NE(text.find(" 127.0.0.1,107,capture,cmd=x,0,9,tool failed\r\n"), std::string::npos);

    WriteFile(home / "vistrel5.ini", "[Server]\nRequestLogging=false\n");
    config.ReadSettings(false);
    config.LogRequest("127.0.0.1", 103, "/c.jpg", "cmd=poster", 0, 7);
    EXPECT_EQ(ReadFile(config.requestLog().CurrentPath()).find("/c.jpg"), std::string::npos);
}

namespace {
bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 100; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}
}  // namespace

TEST(Configuration, WatcherReloadsWhenTheIniTimeChangesOnly) {
    vstest::TempDir home;
    WriteFile(home / "vistrel5.ini", "[Server]\nKeepLogDay=5\nPort=1000\n");
    Configuration config;
    config.Load(home.path());
    Vs5Platform::ManualResetEvent stop;
    config.StartWatcher(stop);
    auto reloads = [&] {
        return vstest::CountOf(ReadFile(config.systemLog().CurrentPath()),
                               "INI file has changed and reloaded");
    };

    // Another file in the module folder wakes the watcher but does not reload.
    WriteFile(home / "other.txt", "x");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(reloads(), 0u);

    // The same content with a new time stamp reloads; start-only keys stay.
    WriteFile(home / "vistrel5.ini", "[Server]\nKeepLogDay=6\nPort=2000\n");
    EXPECT_TRUE(WaitFor([&] { return config.settings()->keepLogDay == 6; }));
    EXPECT_EQ(config.settings()->port, 1000);
    EXPECT_TRUE(WaitFor([&] { return reloads() == 1; }));

    auto stamp = config.iniTimeStamp();
    Vs5Platform::SetLastWriteTime(home / "vistrel5.ini", stamp + 10000000);
    EXPECT_TRUE(WaitFor([&] { return reloads() == 2; }));

    stop.Set();
}

TEST(Configuration, WatcherReloadsWhileAnotherFileKeepsChanging) {
    vstest::TempDir home;
    WriteFile(home / "vistrel5.ini", "[Server]\nKeepLogDay=5\n");
    Configuration config;
    config.Load(home.path());
    Vs5Platform::ManualResetEvent stop;
    config.StartWatcher(stop);
    // Another program writes a file beside the INI file several times a second.
    std::atomic<bool> done{false};
    std::thread busy([&] {
        for (int i = 0; !done && i < 200; ++i) {
            WriteFile(home / "busy.txt", std::to_string(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WriteFile(home / "vistrel5.ini", "[Server]\nKeepLogDay=6\n");
    EXPECT_TRUE(WaitFor([&] { return config.settings()->keepLogDay == 6; }));
    done = true;
    busy.join();
    stop.Set();
}

TEST(Configuration, WatcherNeverAppliesAFileWhileItIsBeingWritten) {
    vstest::TempDir home;
    const std::string denying = "[Server]\nAccessPermit=10.0.0.1\nKeepLogDay=5\n";
    WriteFile(home / "vistrel5.ini", denying);
    Configuration config;
    config.Load(home.path());
    config.SetWatcherSettleForTesting(500);
    Vs5Platform::ManualResetEvent stop;
    config.StartWatcher(stop);
    // The file is rewritten slowly, a little every 20 ms for about three
    // seconds; until its last line arrives it has no AccessPermit, and the
    // default (127.0.0.1) must not be admitted on the strength of it.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        FILE* f = fopen((home / "vistrel5.ini").c_str(), "w");
        fputs("[Server]\nKeepLogDay=6\n", f);
        for (int i = 0; i < 150; ++i) {
            fprintf(f, "; filler line %d\n", i);
            fflush(f);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        fputs("AccessPermit=10.0.0.1\n", f);
        fclose(f);
        done = true;
    });
    int admitted = 0;
    while (!done)
        admitted += config.ipFilter().IsAllowed("127.0.0.1") ? 1 : 0;
    writer.join();
    EXPECT_TRUE(WaitFor([&] { return config.settings()->keepLogDay == 6; }));
    admitted += config.ipFilter().IsAllowed("127.0.0.1") ? 1 : 0;
    EXPECT_EQ(admitted, 0);
    EXPECT_TRUE(config.ipFilter().IsAllowed("10.0.0.1"));
    stop.Set();
}
