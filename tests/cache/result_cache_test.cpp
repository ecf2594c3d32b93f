#include <regex>
#include <set>

#include "cache/cache_key.h"
#include "cache/result_path.h"
#include "cache_fixture.h"

TEST(CacheKeyTest, TimeAndDigestsOfTheUtf16TextInBase64) {
    // Hangul takes one UTF-16 unit per character, the emoji two.
    EXPECT_EQ(FormatCacheKey(132000000000000000ULL, "/srv/사진/풍경.JPG", "", "\xF0\x9F\x98\x80"),
              "132000000000000000:pL12nF8NFub2MIMjNZn4hA==:1B2M2Y8AsgTpgAmY7PhCfg==:"
              "cTtDH1yqDRQr6hV5icloUg==");
    EXPECT_EQ(FormatCacheKey(UINT64_MAX, "", "", "").size(), kMaxCacheKeyLength);
}

class ResultCacheTest : public CacheFixture {
protected:
    std::string IniText() const override {
        return "[Server]\r\nCacheSubFolders=3\r\n[ImageProcessing]\r\nImageDefaultTarget=d\r\n"
               "ImageJpegTarget=j\r\nImagePngTarget=p\r\nImageBmpTarget=b\r\nImageGifTarget=g\r\n"
               "ImageTifTarget=t\r\n";
    }
};

TEST_F(ResultCacheTest, ChoosesTheTargetAndSpreadsResultsOverTheSubFolders) {
    // The target follows the last dot of the source path, without case.
    const std::pair<const char*, const char*> cases[] = {
        {"/a.jpg", "j"},     {"/a.JpEg", "j"}, {"/a.PNG", "p"},       {"/a.Bmp", "b"},
        {"/a.GIF", "g"},     {"/a.TIF", "t"},  {"/a.tiff", "t"},      {"/a.webp", "d"},
        {"/a.jpg.bak", "d"}, {"/noext", "d"},  {"/a.png/noext", "d"}, {"/a.jpg", "j"}};
    std::string previous;
    uint32_t counter = 0;
    for (auto [source, target] : cases) {
        std::string path;
        cache_->MakeResultPath(source, true, path);
        const size_t slash = path.rfind('/');
        EXPECT_EQ(path.substr(0, slash), CachePath(SubFolderName(++counter % 3))) << source;
        EXPECT_TRUE(std::regex_match(
            path.substr(slash + 1),
            std::regex(R"(\{[0-9a-f]{8}-([0-9a-f]{4}-){3}[0-9a-f]{12}\}\.)" + std::string(target))))
            << path;
        EXPECT_NE(path, previous);
        previous = path;
    }
    EXPECT_FALSE(Exists(CachePath("cache0003")));
    std::string path;
    cache_->MakeResultPath("/src/pic.gif", false, path);
    EXPECT_EQ(path, config_->noCacheFolder() + path.substr(path.rfind('/')));
    EXPECT_EQ(path.substr(path.size() - 2), ".g");
}

TEST_F(ResultCacheTest, KeysFollowTheSourceTimeAndBothCommands) {
    const std::string source = module_ + "/사진.jpg";
    MakeFile(source, 100);
    ASSERT_TRUE(Vs5Platform::SetLastWriteTime(source, 133000000000000000ULL));
    std::set<std::string> keys;
    std::string first;
    for (auto [defaultCommand, command] :
         {std::pair{"", "thumb=1"}, {"", "thumb=1"}, {"", "thumb=2"}, {"thumb=1", ""}}) {
        std::string key;
        ASSERT_TRUE(cache_->MakeKey(source, defaultCommand, command, key));
        EXPECT_EQ(key.rfind("133000000000000000:", 0), 0U);
        keys.insert(key);
        first = first.empty() ? key : first;
    }
    EXPECT_EQ(keys.size(), 3U);  // only the first two agree
    // A rewritten source gets a new key; a missing one leaves the key alone.
    std::string key = "untouched";
    EXPECT_FALSE(cache_->MakeKey(module_ + "/missing.jpg", "", "thumb=1", key));
    ASSERT_TRUE(Vs5Platform::SetLastWriteTime(source, 133000000000000001ULL));
    ASSERT_TRUE(cache_->MakeKey(source, "", "thumb=1", key));
    EXPECT_EQ(key, "133000000000000001" + first.substr(18));
}

class NoSubFolderTest : public CacheFixture {
protected:
    std::string IniText() const override { return "[Server]\r\nCacheSubFolders=0\r\n"; }
};

TEST_F(NoSubFolderTest, TreatsFewerThanOneSubFolderAsOne) {
    for (int i = 0; i < 2; ++i) {
        std::string path;
        cache_->MakeResultPath("/src/a.jpg", true, path);
        EXPECT_EQ(path.substr(0, path.rfind('/')), CachePath("cache0000"));
    }
    EXPECT_TRUE(Exists(CachePath("cache0000")));
    EXPECT_EQ(SubFolderNumber(5, -3), 0U);
}

TEST_F(ResultCacheTest, HitsLiveFilesAndDropsStaleEntries) {
    const std::string path = AddEntry("k1", 3000);
    AddEntry("k2", 500);
    EXPECT_EQ(cache_->TotalBytes(), 3500);
    std::string found;
    EXPECT_TRUE(cache_->Lookup("k1", found));
    EXPECT_EQ(found, path);

    // A file deleted by hand: the lookup misses, the entry and its bytes go.
    ASSERT_EQ(unlink(path.c_str()), 0);
    EXPECT_FALSE(cache_->Lookup("k1", found));
    EXPECT_FALSE(cache_->Peek("k1"));
    EXPECT_EQ(cache_->TotalBytes(), 500);
}

class CacheEvictionTest : public CacheFixture {
protected:
    static constexpr off_t kMiB = 1 << 20;
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
