#include <latch>
#include <regex>
#include <thread>

#include "cache/result_path.h"
#include "cache_fixture.h"

TEST(ResultPathTest, ChoosesTheTargetByExtensionWithoutCase) {
    Settings s;
    s.imageDefaultTarget = "def";
    s.imageJpegTarget = "jt";
    s.imagePngTarget = "pt";
    s.imageBmpTarget = "bt";
    s.imageGifTarget = "gt";
    s.imageTifTarget = "tt";
    // In "/a.png/noext" the last dot is in a folder name.
    const std::vector<std::pair<std::string, std::vector<std::string>>> byTarget = {
        {"jt", {"/a/b.jpg", "/a/B.JPG", "/a/b.JpEg"}},
        {"pt", {"/a/b.PNG"}},
        {"bt", {"/a/b.Bmp"}},
        {"gt", {"/a/b.GIF"}},
        {"tt", {"/a/b.TIF", "/a/b.tiff"}},
        {"def", {"/a/b.webp", "/a/b.jpg.bak", "/a/noext", "/a.png/noext"}}};
    for (const auto& [target, paths] : byTarget)
        for (const std::string& path : paths)
            EXPECT_EQ(TargetExtension(path, s), target) << path;
}

class ResultCacheTest : public CacheFixture {
protected:
    std::string IniText() const override {
        return "[Server]\r\nCacheSubFolders=8\r\n[ImageProcessing]\r\nImagePngTarget=png\r\n";
    }
};

TEST_F(ResultCacheTest, SpreadsResultsOverTheSubFolders) {
    const std::regex name(
        R"(\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\}\.png)");
    std::string first;
    for (int expected : {1, 2, 3, 4, 5, 6, 7, 0, 1}) {
        std::string path;
        cache_->MakeResultPath("/src/pic.PNG", true, path);
        std::string folder = path.substr(0, path.rfind('/'));
        EXPECT_EQ(folder, CachePath(SubFolderName(expected)));
        EXPECT_TRUE(std::regex_match(path.substr(path.rfind('/') + 1), name)) << path;
        EXPECT_TRUE(Exists(folder));
        EXPECT_NE(path, first);
        first = path;
    }
    std::string path;
    cache_->MakeResultPath("/src/pic.gif", false, path);
    EXPECT_EQ(path.substr(0, path.rfind('/')), config_->noCacheFolder());
    EXPECT_EQ(path.substr(path.size() - 4), ".jpg");
}

class NoSubFolderTest : public CacheFixture {
protected:
    std::string IniText() const override { return "[Server]\r\nCacheSubFolders=0\r\n"; }
};

TEST_F(NoSubFolderTest, TreatsFewerThanOneSubFolderAsOne) {
    for (int i = 0; i < 3; ++i) {
        std::string path;
        cache_->MakeResultPath("/src/a.jpg", true, path);
        EXPECT_EQ(path.substr(0, path.rfind('/')), CachePath("cache0000"));
    }
    EXPECT_TRUE(Exists(CachePath("cache0000")));
    EXPECT_EQ(SubFolderNumber(5, -3), 0U);
    EXPECT_EQ(SubFolderNumber(UINT32_MAX, 8), 7U);
}

TEST_F(ResultCacheTest, HitsLiveFilesAndDropsStaleEntries) {
    const std::string path = AddEntry("k1", 3000);
    AddEntry("k2", 500);
    EXPECT_EQ(cache_->TotalBytes(), 3500);
    EXPECT_EQ(cache_->Peek("k1")->lastAccess, NowDate());

    AdvanceSeconds(30);
    std::string found;
    EXPECT_TRUE(cache_->Lookup("k1", found));
    EXPECT_EQ(found, path);
    EXPECT_EQ(cache_->Peek("k1")->lastAccess, NowDate());
    EXPECT_FALSE(cache_->Lookup("absent", found));

    // A file deleted by hand: the lookup misses, the entry and its bytes go.
    ASSERT_EQ(unlink(path.c_str()), 0);
    EXPECT_FALSE(cache_->Lookup("k1", found));
    EXPECT_FALSE(cache_->Peek("k1"));
    EXPECT_EQ(cache_->EntryCount(), 1U);
    EXPECT_EQ(cache_->TotalBytes(), 500);

    // The request then makes a new file under the same key.
    const std::string again = AddEntry("k1", 100);
    EXPECT_TRUE(cache_->Lookup("k1", found));
    EXPECT_EQ(found, again);
}

TEST_F(ResultCacheTest, OneOfTwoRacingInsertsWins) {
    for (int round = 0; round < 20; ++round) {
        const std::string key = "race" + std::to_string(round);
        std::string paths[2];
        bool inserted[2] = {false, false};
        for (std::string& p : paths) {
            cache_->MakeResultPath("/src/a.jpg", true, p);
            MakeFile(p, 10);
        }
        std::latch start(2);
        auto insert = [&](int i) {
            start.arrive_and_wait();
            inserted[i] = cache_->Insert(key, paths[i]);
        };
        std::thread a(insert, 0), b(insert, 1);
        a.join();
        b.join();
        ASSERT_NE(inserted[0], inserted[1]);
        const int winner = inserted[0] ? 0 : 1;
        EXPECT_EQ(cache_->Peek(key)->path, paths[winner]);
        // The loser's file is not the cache's: it is left for the caller.
        EXPECT_TRUE(Exists(paths[1 - winner]));
        EXPECT_EQ(cache_->danglingFiles()->size(), 0U);
    }
    EXPECT_EQ(cache_->TotalBytes(), 200);
}
