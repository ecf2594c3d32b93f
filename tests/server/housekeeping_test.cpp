#include "server/housekeeping.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "server/test_folder.h"
#include "support/text_count.h"

using namespace Vs5Server;
using vstest::CountOf;

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
    vstest::WriteFile(path, "x");
    return path;
}

void WaitUntil(const std::function<bool()>& done) {
    while (!done())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
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
    EXPECT_FALSE(vstest::Exists(base + "a.jpg"));
    EXPECT_FALSE(vstest::Exists(base + "b.jpg"));
    EXPECT_EQ(queue.Snapshot(), (std::vector<std::string>{stuck}));
    // The failing path is tried again within the same pass, up to the limit.
    EXPECT_EQ(CountOf(folder.systemLog(), stuck + " was not deleted(21).\r\n"),
              size_t(kFilesPerPass - 4));
}

TEST(FileRemover, ThreadDeletesQueuedFilesAndReportsTheTotal) {
    TestModuleFolder folder("[Server]\n");
    CountingCache cache;
    std::string base = folder.path() + "/TempFiles/";
    cache.queue.Push(Touch(base + "1.jpg"));
    cache.queue.Push(Touch(base + "2.jpg"));
    Vs5Platform::ManualResetEvent stop, quit;
    HousekeepingTimings timings{
        .removerFirstSleepMs = 0, .removerPassMs = 5, .removerGapMs = 0, .removerReportMs = 0};
    std::thread t(FileRemoverThread, StopEvents{stop, quit}, std::ref(folder.config()), &cache,
                  timings);
    const std::string total = "The total number of files deleted are 2.\r\n";
    WaitUntil([&] { return CountOf(folder.systemLog(), total) > 0; });
    stop.Set();
    t.join();
    EXPECT_EQ(cache.queue.size(), 0u);
    EXPECT_FALSE(vstest::Exists(base + "1.jpg"));
    // The total is written once until it grows again.
    EXPECT_EQ(CountOf(folder.systemLog(), "deleted are"), 1u);
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
    std::thread t(MaintenanceThread, StopEvents{stop, quit}, std::ref(folder.config()), &cache,
                  HousekeepingTimings{.minuteMs = 2}, nullptr);
    WaitUntil([&] { return !vstest::Exists(logs + "old.log"); });
    quit.Set();
    t.join();
    // 1440 ticks, and a few more before the quit was seen.
    EXPECT_GE(cache.invalidations.load(), 288);
    EXPECT_LT(cache.invalidations.load(), 2 * 288);  // every 5th tick, not every tick
    EXPECT_EQ(cache.reports.load(), cache.invalidations.load() / 12);
    EXPECT_TRUE(vstest::Exists(logs + "notes.txt"));
    // Today's open logs are as old, but stay, and keep taking lines.
    EXPECT_TRUE(vstest::Exists(folder.config().requestLog().CurrentPath()));
    EXPECT_EQ(CountOf(folder.systemLog(), "Old log files have been removed\r\n"), 1u);
}
