#include "config/configuration.h"
#include "config/metrics.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <regex>
#include <thread>

#include "platform/file_time.h"
#include "server/test_folder.h"
#include "support/text_count.h"

using vstest::Exists;
using vstest::WriteFile;

TEST(Configuration, LoadMakesTheFoldersAndEmptiesTheTemporaryOnesAndTheWatcherTheNoCacheOne) {
    vstest::TempDir home;
    std::filesystem::create_directories(home / "TempFiles/inner");
    std::filesystem::create_directories(home / "Cache/nocache");
    const char* old[] = {"TempFiles/old.tmp", "TempFiles/inner/old2.tmp", "Cache/nocache/old.jpg"};
    for (const char* name : old)
        WriteFile(home / name, "x");
    // Files must be older than 0 whole seconds to count as old.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    auto config = std::make_unique<Configuration>();
    ASSERT_TRUE(config->Load(home.path()));
    for (const char* sub : {"LogFiles", "TempFiles/inner", "Cache/nocache", "Frame",
                            "Command/Images", "Cache/cache0000", "Cache/cache0007"})
        EXPECT_TRUE(Exists(home / sub)) << sub;
    for (const char* name : old)
        EXPECT_FALSE(Exists(home / name)) << name;
    EXPECT_FALSE(Exists(home / "Cache/cache0008"));
    EXPECT_EQ(config->imageFolder() + config->frameFolder(),
              home / "Command/Images" + home / "Frame");

    // Every 60th idle wake clears the no-cache folder of files older than a
    // day; its folders stay. These are an hour past a day old, not two days.
    const std::string nocache = config->noCacheFolder() + "/";
    std::filesystem::create_directories(nocache + "sub");
    WriteFile(nocache + "a.jpg", "x");
    WriteFile(nocache + "sub/b", "x");
    const Vs5Platform::FileTime later = Vs5Platform::FileTimeNow() + 25 * 3600 * 10000000ULL;
    config->SetWatcherClockForTesting([later] { return later; });
    config->SetWatcherTimeoutForTesting(1);
    Vs5Platform::ManualResetEvent stop;
    config->StartWatcher(stop);
    EXPECT_TRUE(WaitFor([&] { return !Exists(nocache + "sub/b"); }));
    config.reset();  // waits for the watcher
    EXPECT_FALSE(Exists(nocache + "a.jpg"));
    EXPECT_TRUE(Exists(nocache + "sub"));
}

TEST(Configuration, CachePathMovesTheCacheButNotTheNoCacheFolder) {
    vstest::TempDir root;
    // A path of 260 characters is taken whole, a longer one is cut to 260.
    const std::string long260 = root / std::string(260 - root.path().size() - 1, 'd');
    const std::array<std::string, 2> cases[] = {{"", ""},
                                                {root / "b", root / "b"},
                                                {long260, long260},
                                                {long260 + "e", long260},
                                                {"/proc/forbidden", ""}};
    for (const auto& [value, expected] : cases) {
        TestModuleFolder home("[Server]\nCacheSubFolders=2\nCachePath=" + value + "\n");
        const std::string folder = expected.empty() ? home.path() + "/Cache" : expected;
        EXPECT_EQ(home.config().cacheFolder(), folder) << value;
        EXPECT_TRUE(Exists(folder + "/cache0001")) << value;
        EXPECT_EQ(home.config().noCacheFolder(), home.path() + "/Cache/nocache");
        // That failure came before the log was open, and is in it all the same.
        const std::string line = "# Cannot create a directory specified by ServerCachePath (2).";
        EXPECT_EQ(vstest::CountOf(home.requestLog(), line),
                  size_t(value[0] == '/' && expected.empty()))
            << value;
    }
}

TEST(Configuration, KeyedEntriesMatchAsLowerCaseSubstrings) {
    TestModuleFolder home(
        "[DefaultCommand]\nCommand0=Thumb;cmd=thumb&w=100\nCommand1=img;cmd=resize\nCommand2=Big\n"
        "Command3=\"\"\nCommand31=last;x=1;y=2\nCommand32=ignored;z\n[Impersonation]\n"
        "Impersonate0=\"\"\nImpersonate1=Share;;\"bob s\";;\"p w;d\"\nImpersonate15=onlykey\n"
        "Impersonate16=past;eve;x\n");
    // The first matching entry wins; the command is all after the first
    // semicolon; runs of separators between the user fields count as one.
    const std::array<const char*, 3> cases[] = {{"c:/img/thumb.jpg", "cmd=thumb&w=100", "-"},
                                                {"C:/IMG/A.JPG", "cmd=resize", "-"},
                                                {"/BIG.jpg", "", "-"},
                                                {"/last.jpg", "x=1;y=2", "-"},
                                                {"/ignored.jpg", "-", "-"},
                                                {"//SHARE/a", "-", "bob s/p w;d"},
                                                {"/onlykey/a", "-", "/"},
                                                {"/past/a", "-", "-"}};
    for (auto [path, command, login] : cases) {
        std::string found = "-", user, password;
        home.config().FindDefaultCommand(path, found);
        EXPECT_EQ(found, command) << path;
        EXPECT_EQ(home.config().FindImpersonation(path, user, password), login[0] != '-') << path;
        EXPECT_EQ(login[0] == '-' ? login : user + "/" + password, login) << path;
    }
}

TEST(Configuration, RequestLinesFollowTheLoggingSwitches) {
    TestModuleFolder home("[Server]\nLogErrorsOnly=true\n");
    auto log = [&](int code, const std::string& source) {
        home.config().LogRequest("127.0.0.1", code, source, "cmd=x", 1, 5);
        home.config().LogRequestWithMessage("127.0.0.1", code, source, "cmd=y", 9, "tool\nfailed");
    };
    log(0, "/a.jpg");
    log(103, "/b\r\n.jpg");  // a client's line break does not start a line of its own
    for (const char* ini : {"LogErrorsOnly=false", "RequestLogging=false"}) {
        WriteFile(home.path() + "/vistrel5.ini", std::string("[Server]\n") + ini + "\n");
        home.config().ReadSettings(false);
        log(0, ini);
    }
    const std::string text = home.requestLog();
    EXPECT_EQ(
        std::regex_replace(text.substr(text.find("AdditionalMessage\r\n") + 19),
                           std::regex("\\d\\d:\\d\\d:\\d\\d "), "_"),
        "_127.0.0.1,103,/b  .jpg,cmd=x,1,5\r\n_127.0.0.1,103,/b  .jpg,cmd=y,0,9,tool failed\r\n"
        "_127.0.0.1,0,LogErrorsOnly=false,cmd=x,1,5\r\n"
        "_127.0.0.1,0,LogErrorsOnly=false,cmd=y,0,9,tool failed\r\n");
}

TEST(Configuration, WatcherReloadsOnANewIniTimeOnly) {
    TestModuleFolder home("[Server]\nKeepLogDay=5\nPort=1000\nCacheSubFolders=3\nMetricsPort=7\n");
    std::vector<int> seen;
    home.config().SetSettingsListener([&](const Settings& s) { seen.push_back(s.keepLogDay); });
    Vs5Platform::ManualResetEvent stop;
    home.config().StartWatcher(stop);
    auto reloads = [&] { return vstest::CountOf(home.systemLog(), "INI file has changed"); };
    // Another program writes a file beside the INI file all the time: it wakes
    // the watcher, never reloads, and does not keep the INI file from being read.
    std::atomic<bool> done{false};
    std::thread busy([&] {
        for (int i = 0; !done && i < 500; ++i) {
            WriteFile(home.path() + "/busy.txt", std::to_string(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WriteFile(home.path() + "/vistrel5.ini",
              "[Server]\nKeepLogDay=6\nPort=2\nCachePath=" + (home.path() + "/b") +
                  "\nCacheSubFolders=9\nEngineWorkprocessCount=4\nMetricsPort=8\n");
    EXPECT_TRUE(WaitFor([&] { return reloads() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    done = true;
    busy.join();
    // Values the server was started with stay.
    auto s = home.config().settings();
    EXPECT_EQ(std::tie(s->keepLogDay, s->port, s->cacheSubFolders, s->engineWorkprocessCount,
                       s->metricsPort, s->cachePath),
              std::tuple(6, 1000, 3, 0, 7, ""));
    EXPECT_FALSE(Exists(home.path() + "/b"));
    // The same content with a new time stamp reloads.
    Vs5Platform::SetLastWriteTime(home.path() + "/vistrel5.ini",
                                  home.config().iniTimeStamp() + 10000000);
    EXPECT_TRUE(WaitFor([&] { return reloads() == 2; }));
    stop.Set();
    EXPECT_EQ(seen, (std::vector<int>{6, 6}));
}

TEST(Configuration, AStopWhileTheIniFileSettlesAppliesNothing) {
    std::vector<int> seen;
    {
        Vs5Platform::ManualResetEvent stop;
        TestModuleFolder home("[Server]\nKeepLogDay=5\n");
        home.config().SetSettingsListener([&](const Settings& s) { seen.push_back(s.keepLogDay); });
        home.config().SetWatcherSettleForTesting(60000);
        home.config().StartWatcher(stop);
        WriteFile(home.path() + "/vistrel5.ini", "[Server]\nKeepLogDay=6\n");
        // Time for the watcher to see the change and wait for the file to settle
        // (generous: the machine may be busy).
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        stop.Set();
    }  // the destructor waits for the watcher
    EXPECT_TRUE(seen.empty());
}

TEST(Configuration, WatcherNeverAppliesAFileWhileItIsBeingWritten) {
    TestModuleFolder home("[Server]\nAccessPermit=10.0.0.1\nKeepLogDay=5\n");
    home.config().SetWatcherSettleForTesting(400);
    Vs5Platform::ManualResetEvent stop;
    home.config().StartWatcher(stop);
    // The file is rewritten slowly, a little every 20 ms; until its last line
    // arrives it has no AccessPermit, and the default (127.0.0.1) must not be
    // admitted on the strength of it.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        FILE* f = fopen((home.path() + "/vistrel5.ini").c_str(), "w");
        fputs("[Server]\nKeepLogDay=6\n", f);
        for (int i = 0; i < 30; ++i) {
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
        admitted += home.config().ipFilter().IsAllowed("127.0.0.1") ? 1 : 0;
    writer.join();
    EXPECT_TRUE(WaitFor([&] { return home.config().settings()->keepLogDay == 6; }));
    admitted += home.config().ipFilter().IsAllowed("127.0.0.1") ? 1 : 0;
    EXPECT_EQ(admitted, 0);
    EXPECT_TRUE(home.config().ipFilter().IsAllowed("10.0.0.1"));
    stop.Set();
}

TEST(Metrics, AnObservationAtABucketBoundCountsInThatBucketAndOneMillisecondMoreInTheNext) {
    Metrics m;
    for (uint32_t bound : {5, 10, 25, 50, 100, 250, 500, 1000, 2500, 5000, 10000}) {
        m.CountRequest("V", 0, bound);
        m.CountRequest("V", 0, bound + 1);
    }
    const std::string text = m.Render();
    const std::regex line("_bucket\\{verb=\"V\",le=\"[^\"]+\"\\} (\\d+)\n");
    std::string counts;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
        counts += (*it)[1].str() + " ";
    EXPECT_EQ(counts, "1 3 5 7 9 11 13 15 17 19 21 22 ") << text;
}
