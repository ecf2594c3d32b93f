#include "cache_fixture.h"

// Runs the eviction steps the way Invalidate does, but lets the test change
// the cache between the snapshot and the removals.
class ResultCacheTestPeer {
public:
    static int EvictWithChangeInBetween(ResultCache& cache, const std::function<void()>& change) {
        boost::upgrade_lock<boost::upgrade_mutex> upgradable(cache.lock_);
        auto records = cache.SnapshotForEviction();
        ResultCache::SortOldestFirst(records);
        const int64_t excess = cache.TotalBytes() - cache.settings_()->maxCacheSize;
        upgradable.unlock();
        change();
        upgradable.lock();
        return cache.EvictOldest(records, excess, upgradable);
    }
};

namespace {
constexpr off_t kMiB = 1048576;
}

class CacheEvictionTest : public CacheFixture {
protected:
    // The smallest limit the configuration allows: 4 MiB.
    std::string IniText() const override { return "[Server]\r\nMaxCacheSize=1\r\n"; }

    // `count` entries of 1 MiB, one second apart. The keys run backwards so
    // that key order and age order differ.
    std::vector<std::string> AddEntries(int count) {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            AdvanceSeconds(1);
            paths.push_back(AddEntry(Key(added_++), kMiB));
        }
        return paths;
    }
    int added_ = 0;
    static std::string Key(int i) { return std::string(1, static_cast<char>('z' - i)); }
};

TEST_F(CacheEvictionTest, StartsAtFiveMebibytesAboveTheLimitAndEvictsTheLeastRecentlyUsed) {
    std::vector<std::string> paths = AddEntries(8);  // 4 MiB above the limit
    cache_->Invalidate();
    EXPECT_EQ(cache_->EntryCount(), 8U);
    EXPECT_EQ(LogCount("cache invalidat"), 0U);

    // Recent use moves two of the oldest to the back of the line.
    AdvanceSeconds(10);
    std::string found;
    ASSERT_TRUE(cache_->Lookup(Key(2), found));
    AdvanceSeconds(1);
    ASSERT_TRUE(cache_->Lookup(Key(0), found));
    paths.push_back(AddEntries(1).front());  // exactly 5 MiB above
    cache_->Invalidate();
    // Removing the fifth least recently used would reach the limit: it stays.
    EXPECT_EQ(cache_->EntryCount(), 5U);
    EXPECT_EQ(cache_->TotalBytes(), 5 * kMiB);
    EXPECT_EQ(cache_->danglingFiles()->Snapshot(),
              (std::vector<std::string>{paths[1], paths[3], paths[4], paths[5]}));
    for (int kept : {0, 2, 6, 7, 8})
        EXPECT_TRUE(cache_->Peek(Key(kept))) << kept;
    EXPECT_EQ(LogCount("cache invalidating: 9437184/4194304\r\n"), 1U);
    EXPECT_EQ(LogCount("cache invalidating: step-1 : "), 1U);
    EXPECT_EQ(LogCount("cache invalidating: step-2 : "), 1U);
    EXPECT_EQ(LogCount("cache invalidated: 4 files added: "), 1U);
    // The files themselves stay for the file remover thread.
    EXPECT_TRUE(Exists(paths[1]));

    // The next run waits for a new excess of 5 MiB.
    cache_->Invalidate();
    EXPECT_EQ(cache_->EntryCount(), 5U);
    EXPECT_EQ(LogCount("cache invalidated"), 1U);
}

TEST_F(CacheEvictionTest, SkipsAnEntryDroppedAfterTheSnapshot) {
    std::vector<std::string> paths = AddEntries(10);
    int removed = ResultCacheTestPeer::EvictWithChangeInBetween(*cache_, [&] {
        // The oldest file is deleted by hand and a lookup drops its entry.
        ASSERT_EQ(unlink(paths[0].c_str()), 0);
        std::string found;
        EXPECT_FALSE(cache_->Lookup(Key(0), found));
    });
    EXPECT_EQ(removed, 4);
    EXPECT_EQ(cache_->danglingFiles()->Snapshot(),
              (std::vector<std::string>{paths[1], paths[2], paths[3], paths[4]}));
    EXPECT_EQ(cache_->EntryCount(), 5U);
    EXPECT_EQ(cache_->TotalBytes(), 5 * kMiB);
}

TEST_F(CacheEvictionTest, ReportsHitRatiosPerPeriodAndInTotal) {
    AddEntries(2);
    std::string found;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(cache_->Lookup(Key(i % 2), found));
    EXPECT_FALSE(cache_->Lookup("absent", found));

    cache_->ReportStatistics();
    EXPECT_EQ(LogCount("Cache hit ratio: 75.00% (3/4)\r\n"), 1U);
    EXPECT_EQ(LogCount("Total cache hit ratio: 75.00% (3/4)\r\n"), 1U);
    EXPECT_EQ(LogCount("Cache storage info: 2 items(2.00MB)\r\n"), 1U);

    // A period without lookups writes nothing but still starts a new period.
    cache_->ReportStatistics();
    EXPECT_EQ(LogCount("Cache hit ratio"), 1U);
    EXPECT_FALSE(cache_->Lookup("absent", found));
    cache_->ReportStatistics();
    EXPECT_EQ(LogCount("Cache hit ratio: 0.00% (0/1)\r\n"), 1U);
    EXPECT_EQ(LogCount("Total cache hit ratio: 60.00% (3/5)\r\n"), 1U);
    EXPECT_EQ(LogCount("Cache storage info: 2 items(2.00MB)\r\n"), 2U);
}
