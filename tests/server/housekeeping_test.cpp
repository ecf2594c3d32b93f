// Housekeeping on a real module folder: queued temporary files deleted, and
// the minute steps of the maintenance thread.
#include "server/housekeeping.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "server/server_test_support.h"
#include "support/text_count.h"

using namespace Vs5Server;
using vstest::CountOf;

namespace {

struct CountingCache : Vs5Util::CacheMaintenance {
    void Invalidate() override { ++invalidations; }
    void ReportStatistics() override { ++reports; }
    Vs5Util::DanglingFileQueue* danglingFiles() override { return &queue; }
    std::atomic<int> invalidations{0}, reports{0};
    Vs5Util::DanglingFileQueue queue;
};

std::string Touch(const std::string& path) {
    return vstest::WriteFile(path, "x"), path;
}

}  // namespace

TEST(Housekeeping, QueuedFilesAreDeletedAndFailuresRetriedWithinAPass) {
    TestModuleFolder folder("[Server]\n");
    CountingCache cache;
    std::string base = folder.path() + "/TempFiles/";
    // A folder cannot be unlinked: it fails with an error other than "missing".
    std::string stuck = base + "stuck";
    mkdir(stuck.c_str(), 0700);
    for (std::string path : {Touch(base + "a.jpg"), base + "missing.jpg", base + "no/c.jpg", stuck,
                             Touch(base + "b.jpg")})
        cache.queue.Push(path);
    EXPECT_EQ(RemoveQueuedFiles(cache.queue, folder.config(), 0), 2);
    EXPECT_FALSE(vstest::Exists(base + "a.jpg") || vstest::Exists(base + "b.jpg"));
    EXPECT_EQ(cache.queue.Snapshot(), (std::vector<std::string>{stuck}));
    // The failing path is tried again within the same pass, up to the limit.
    EXPECT_EQ(CountOf(folder.systemLog(), stuck + " was not deleted(21).\r\n"),
              size_t(kFilesPerPass - 4));
}

TEST(Housekeeping, MinuteStepsRunOnTheirMultiples) {
    // KeepLogDay 0: every log file at least a second old goes on the 1440th tick.
    TestModuleFolder folder("[Server]\nKeepLogDay=0\n");
    std::string logs = folder.config().logFolder() + "/";
    Touch(logs + "old.log");
    Touch(logs + "notes.txt");
    CountingCache cache;
    Vs5Platform::ManualResetEvent stop, quit;
    std::thread t(MaintenanceThread, StopEvents{stop, quit}, std::ref(folder.config()), &cache,
                  HousekeepingTimings{.minuteMs = 1}, nullptr);
    EXPECT_TRUE(ServerTest::WaitFor([&] { return !vstest::Exists(logs + "old.log"); }));
    quit.Set();
    t.join();
    // 1440 ticks, and a few more before the quit was seen.
    EXPECT_GE(cache.invalidations.load(), 288);
    EXPECT_LT(cache.invalidations.load(), 2 * 288);  // every 5th tick, not every tick
    EXPECT_EQ(cache.reports.load(), cache.invalidations.load() / 12);
    EXPECT_TRUE(vstest::Exists(logs + "notes.txt"));
    // Today's open logs are as old, but stay.
    EXPECT_TRUE(vstest::Exists(folder.config().requestLog().CurrentPath()));
    EXPECT_EQ(CountOf(folder.systemLog(), "Old log files have been removed\r\n"), 1u);
}
