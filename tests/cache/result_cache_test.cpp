#include <latch>
#include <regex>
#include <thread>

#include "cache/result_path.h"
#include "cache_fixture.h"

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
    EXPECT_EQ(cache_->TotalBytes(), 500);
    // The request then makes a new file under the same key.
    const std::string again = AddEntry("k1", 100);
    EXPECT_TRUE(cache_->Lookup("k1", found));
    EXPECT_EQ(found, again);
}

TEST_F(ResultCacheTest, OneOfTwoRacingInsertsWins) {
    for (int round = 0; round < 20; ++round) {
        const std::string key = std::to_string(round), paths[2] = {AddFile(10), AddFile(10)};
        bool inserted[2] = {false, false};
        std::latch start(2);
        auto insert = [&](int i) {
            start.arrive_and_wait();
            inserted[i] = cache_->Insert(key, paths[i]);
        };
        std::jthread a(insert, 0), b(insert, 1);
        a.join();
        b.join();
        ASSERT_NE(inserted[0], inserted[1]);
        // The loser's file is not the cache's: it is left for the caller.
        EXPECT_EQ(cache_->Peek(key)->path, paths[inserted[0] ? 0 : 1]);
        EXPECT_TRUE(Exists(paths[inserted[0] ? 1 : 0]));
    }
    EXPECT_EQ(cache_->TotalBytes(), 200);
    EXPECT_EQ(cache_->danglingFiles()->size(), 0U);
}
