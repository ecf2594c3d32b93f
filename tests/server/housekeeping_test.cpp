#include "server/housekeeping.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "server/test_folder.h"

using namespace Vs5Server;

namespace {

class CountingCache : public Vs5Util::CacheMaintenance {
public:
    void Invalidate() override { ++invalidations; }
    void ReportStatistics() override { ++reports; }
    Vs5Util::DanglingFileQueue* danglingFiles() override { return &queue; }

    std::atomic<int> invalidations{0};
    std::atomic<int> reports{0};
    Vs5Util::DanglingFileQueue queue;
};

std::string Touch(const std::string& path) {
    std::ofstream(path) << "x";
    return path;
}

}  // namespace

TEST(FileRemover, PassDeletesSkipsMissingAndRequeuesFailures) {
    TestModuleFolder folder("[Server]\n");
    Vs5Util::DanglingFileQueue queue;
    std::string base = folder.path() + "/TempFiles/";
    queue.Push(Touch(base + "a.jpg"));
    queue.Push(base + "missing.jpg");
    queue.Push(base + "nofolder/c.jpg");
    // A folder cannot be unlinked: it fails with an error other than "missing".
    std::string stuck = base + "stuck";
    mkdir(stuck.c_str(), 0700);
    queue.Push(stuck);
    queue.Push(Touch(base + "b.jpg"));

    EXPECT_EQ(RemoveQueuedFiles(queue, folder.config(), 0), 2);
    EXPECT_FALSE(std::filesystem::exists(base + "a.jpg"));
    EXPECT_FALSE(std::filesystem::exists(base + "b.jpg"));
    EXPECT_EQ(queue.Snapshot(), (std::vector<std::string>{stuck}));

    // The failing path is tried again within the same pass, up to the limit.
    std::string log = folder.systemLog();
    std::string line = stuck + " was not deleted(21).\r\n";
    size_t count = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
        ++count;
    EXPECT_EQ(count, size_t(kFilesPerPass - 4));
}

TEST(FileRemover, ThreadDeletesQueuedFilesAndReportsTheTotal) {
    TestModuleFolder folder("[Server]\n");
    CountingCache cache;
    std::string base = folder.path() + "/TempFiles/";
    cache.queue.Push(Touch(base + "1.jpg"));
    cache.queue.Push(Touch(base + "2.jpg"));
    Vs5Platform::ManualResetEvent stop, quit;
    HousekeepingTimings timings;
    timings.removerFirstSleepMs = 0;
    timings.removerPassMs = 5;
    timings.removerGapMs = 0;
    timings.removerReportMs = 0;
    std::thread t(FileRemoverThread, StopEvents{stop, quit}, std::ref(folder.config()), &cache,
                  timings);
    while (folder.systemLog().find("The total number of files deleted are 2.\r\n") ==
           std::string::npos)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop.Set();
    t.join();
    EXPECT_EQ(cache.queue.size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(base + "1.jpg"));
    // The total is written once until it grows again.
    std::string log = folder.systemLog();
    EXPECT_EQ(log.find("deleted are"), log.rfind("deleted are"));
}

TEST(Maintenance, MinuteStepsRunOnTheirMultiples) {
    // KeepLogDay 0: every log file at least a second old is removed on the
    // 1440th tick.
    TestModuleFolder folder("[Server]\nKeepLogDay=0\n");
    std::string logs = folder.config().logFolder() + "/";
    Touch(logs + "old.log");
    Touch(logs + "notes.txt");
    CountingCache cache;
    Vs5Platform::ManualResetEvent stop, quit;
    HousekeepingTimings timings;
    timings.minuteMs = 2;
    std::thread t(MaintenanceThread, StopEvents{stop, quit}, std::ref(folder.config()), &cache,
                  timings);
    while (std::filesystem::exists(logs + "old.log"))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    quit.Set();
    t.join();
    // 1440 ticks, and a few more before the quit was seen.
    EXPECT_GE(cache.invalidations.load(), 288);
    EXPECT_LT(cache.invalidations.load(), 2 * 288);  // every 5th tick, not every tick
    EXPECT_EQ(cache.reports.load(), cache.invalidations.load() / 12);
    EXPECT_TRUE(std::filesystem::exists(logs + "notes.txt"));
    // Today's open logs are as old, but stay, and keep taking lines.
    EXPECT_TRUE(std::filesystem::exists(folder.config().requestLog().CurrentPath()));
    EXPECT_NE(folder.systemLog().find("Old log files have been removed\r\n"), std::string::npos);
}
