#include "cache_fixture.h"

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

TEST_F(CacheEvictionTest, ReportsHitRatiosPerPeriodAndInTotal) {
    AddEntries(2);
    std::string found;
    const std::pair<int, std::vector<const char*>> periods[] = {
        {4, {"Cache hit ratio: 75.00% (3/4)\r\n", "Total cache hit ratio: 75.00% (3/4)\r\n"}},
        {0, {}},  // a period without lookups writes nothing but still ends
        {1, {"Cache hit ratio: 0.00% (0/1)\r\n", "Total cache hit ratio: 60.00% (3/5)\r\n"}}};
    for (const auto& [lookups, lines] : periods) {
        for (int i = 0; i < lookups; ++i)
            EXPECT_EQ(cache_->Lookup(lookups == 4 && i < 3 ? Key(i % 2) : "absent", found),
                      lookups == 4 && i < 3);
        const std::string before = SystemLog();
        cache_->ReportStatistics();
        std::string expected;
        for (const char* line : lines)
            expected += std::string("10:00:02 ") + line;
        if (!lines.empty())
            expected += "10:00:02 Cache storage info: 2 items(2.00MB)\r\n";
        EXPECT_EQ(SystemLog().substr(before.size()), expected);
    }
}
