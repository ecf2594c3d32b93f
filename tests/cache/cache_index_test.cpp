#include "cache_fixture.h"

namespace {
constexpr char kBom[] = "\xEF\xBB\xBF";
}

class CacheIndexTest : public CacheFixture {};

TEST_F(CacheIndexTest, SavesAndLoadsEveryEntryAndTheQueue) {
    const std::string pathB = AddEntry("222:b", 4096);
    const std::string pathA = AddEntry("111:a", 70000);
    const std::string gone1 = CachePath("cache0001/{gone}.jpg");
    const std::string gone2 = CachePath("cache0002/사진,2.jpg");
    cache_->QueueDeletion(gone1);
    cache_->QueueDeletion(gone2);
    // A path with a comma would not read back: it stays in memory only.
    const std::string comma = CachePath("cache0002/{a,b}.jpg");
    MakeFile(comma, 20);
    ASSERT_TRUE(cache_->Insert("3:comma", comma));
    AdvanceSeconds(5);
    std::string found;
    ASSERT_TRUE(cache_->Lookup("111:a", found));

    ASSERT_EQ(cache_->SaveIndex(cacheFolder()), 1);
    EXPECT_EQ(ReadFile(CachePath("index.dat")),
              std::string(kBom) + "111:a," + pathA + ",70000\r\n222:b," + pathB + ",4096\r\n");
    EXPECT_EQ(ReadFile(CachePath("delindex.dat")),
              std::string(kBom) + gone1 + "\r\n" + gone2 + "\r\n");
    EXPECT_FALSE(Exists(CachePath("index.dat.tmp")));
    EXPECT_EQ(LogCount("cache index saving: 3\r\n"), 1U);
    EXPECT_EQ(LogCount("cache index cannot hold 1 paths with a comma or a line break, such as " +
                       comma + "\r\n"),
              1U);
    EXPECT_LT(SystemLog().find("cache index saving: 3\r\n"), SystemLog().find("cannot hold"));
    EXPECT_EQ(LogCount("cache index saved\r\n"), 1U);
    EXPECT_TRUE(cache_->Lookup("3:comma", found));

    // A restart: a new cache on the same folder, a later clock.
    MakeFile(CachePath("cache0001/notes.txt"), 3);
    cache_.reset();
    AdvanceSeconds(60);
    cache_ = MakeCache();
    ASSERT_EQ(cache_->LoadIndex(cacheFolder()), 1);
    EXPECT_EQ(LogCount("cache index loading\r\n"), 1U);
    EXPECT_EQ(LogCount("cache index loaded: 2\r\n"), 1U);
    EXPECT_EQ(cache_->EntryCount(), 2U);
    EXPECT_EQ(cache_->TotalBytes(), 74096);
    for (auto [key, path, size] : {std::tuple{"111:a", pathA, 70000U}, {"222:b", pathB, 4096U}}) {
        auto entry = cache_->Peek(key);
        ASSERT_TRUE(entry) << key;
        EXPECT_EQ(entry->path, path);
        EXPECT_EQ(entry->size, size);
        EXPECT_EQ(entry->lastAccess, NowDate());  // last access is the load time
    }
    EXPECT_TRUE(cache_->Lookup("222:b", found));
    // After the deletion list, the result files no entry names: here the one
    // with a comma; a file that is not a result is left alone.
    EXPECT_EQ(cache_->danglingFiles()->Snapshot(), (std::vector<std::string>{gone1, gone2, comma}));
    EXPECT_EQ(LogCount("cache index lists no entry for 1 result files; they are deleted\r\n"), 1U);

    // With the queue empty at the next stop, the old deletion list goes.
    std::string queued;
    while (cache_->danglingFiles()->TryPop(queued)) {
    }
    ASSERT_EQ(cache_->SaveIndex(cacheFolder()), 1);
    EXPECT_FALSE(Exists(CachePath("delindex.dat")));
}

TEST_F(CacheIndexTest, LoadsASignatureOnlyIndexAndAShortDeletionList) {
    const std::string kept = CachePath("cache0003/{kept}.jpg");
    MakeFile(kept, 10);
    WriteFile(CachePath("index.dat"), kBom);
    const std::string d1 = CachePath("cache0004/1.jpg"), d2 = CachePath("cache0004/2.jpg");
    WriteFile(CachePath("delindex.dat"),
              std::string(kBom) + d1 + "\r\n\r\n" + d2 + "\r\n" + CachePath("cache0004/3.jp"));

    EXPECT_EQ(cache_->LoadIndex(cacheFolder()), 1);
    EXPECT_EQ(cache_->EntryCount(), 0U);
    EXPECT_EQ(LogCount("cache index loaded: 0\r\n"), 1U);
    EXPECT_TRUE(Exists(kept));  // an index exists, so the folder is not cleared at once
    // The last line was cut short: that path is lost. The result file no
    // entry names follows the deletion list to the file remover.
    EXPECT_EQ(cache_->danglingFiles()->Snapshot(), (std::vector<std::string>{d1, d2, kept}));
}

TEST_F(CacheIndexTest, MissingIndexEmptiesTheFolderButKeepsSubFolders) {
    MakeFile(CachePath("cache0001/{old}.jpg"), 10);
    MakeFile(CachePath("cache0007/{old}.png"), 10);
    MakeFile(CachePath("stray.txt"), 10);
    WriteFile(CachePath("delindex.dat"), std::string(kBom) + "/d/1.jpg\r\n");

    EXPECT_EQ(cache_->LoadIndex(cacheFolder()), 0);
    EXPECT_FALSE(Exists(CachePath("cache0001/{old}.jpg")));
    EXPECT_FALSE(Exists(CachePath("cache0007/{old}.png")));
    EXPECT_FALSE(Exists(CachePath("stray.txt")));
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(Exists(CachePath("cache000" + std::to_string(i))));
    EXPECT_TRUE(Exists(config_->noCacheFolder()));
    EXPECT_EQ(cache_->EntryCount(), 0U);
    EXPECT_EQ(cache_->danglingFiles()->size(), 0U);  // the list went with the folder
    EXPECT_EQ(LogCount("cache index loading\r\n"), 1U);
    EXPECT_EQ(LogCount("cache index loaded"), 0U);
}

TEST_F(CacheIndexTest, AnInterruptedSaveKeepsThePreviousIndex) {
    const std::string old =
        std::string(kBom) + "9:old," + CachePath("cache0005/{old}.jpg") + ",5\r\n";
    WriteFile(CachePath("index.dat"), old);
    const std::string path = AddEntry("1:new", 10);

    // The temporary file cannot be created where a folder stands.
    ASSERT_TRUE(Vs5Platform::CreateFolder(CachePath("index.dat.tmp")));
    EXPECT_EQ(cache_->SaveIndex(cacheFolder()), 0);
    EXPECT_EQ(ReadFile(CachePath("index.dat")), old);
    EXPECT_EQ(LogCount("cache index not saved, the previous one stays: create: "), 1U);
    EXPECT_EQ(LogCount("cache index saved\r\n"), 1U);
    ASSERT_EQ(rmdir(CachePath("index.dat.tmp").c_str()), 0);

    // A process dying before the rename: the forked child shares this folder
    // and dies where a crash would hit.
    GTEST_FLAG_SET(death_test_style, "fast");
    cache_->SetBeforeRenameHookForTesting([](const std::string&) { _exit(3); });
    EXPECT_EXIT(cache_->SaveIndex(cacheFolder()), ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(ReadFile(CachePath("index.dat")), old);
    EXPECT_EQ(ReadFile(CachePath("index.dat.tmp")),
              std::string(kBom) + "1:new," + path + ",10\r\n");
    // The next start loads the old index and ignores the leftover.
    cache_ = MakeCache();
    EXPECT_EQ(cache_->LoadIndex(cacheFolder()), 1);
    EXPECT_TRUE(cache_->Peek("9:old"));
    EXPECT_FALSE(cache_->Peek("1:new"));
}

TEST_F(CacheIndexTest, IgnoresPathsOutsideTheCacheFolder) {
    // A damaged or planted index must not make the cache hand out, or the
    // file remover delete, files that the cache never made.
    const std::string inside = CachePath("cache0001/{in}.jpg");
    const std::string victim = module_ + "/victim.txt";
    MakeFile(inside, 10);
    MakeFile(victim, 10);
    const std::string climbing = CachePath("cache0001/../../victim.txt");
    const std::string text = std::string(kBom) + "1:in," + inside + ",10\r\n" +  //
                             "2:abs," + victim + ",10\r\n" +                     //
                             "3:up," + climbing + ",10\r\n" +                    //
                             "4:rel,victim.txt,10\r\n" +                         //
                             "5:top," + CachePath("..") + ",10\r\n" +            //
                             "6:nul," + inside + std::string(1, '\0') + "x,10\r\n";
    WriteFile(CachePath("index.dat"), text);
    WriteFile(CachePath("delindex.dat"), std::string(kBom) + CachePath("cache0002/{q}.jpg") +
                                             "\r\n" + victim + "\r\n" + climbing +
                                             "\r\nvictim.txt\r\n");

    ASSERT_EQ(cache_->LoadIndex(cacheFolder()), 1);
    EXPECT_EQ(cache_->EntryCount(), 1U);
    EXPECT_TRUE(cache_->Peek("1:in"));
    EXPECT_EQ(cache_->TotalBytes(), 10);
    EXPECT_EQ(LogCount("cache index loaded: 1\r\n"), 1U);
    EXPECT_EQ(cache_->danglingFiles()->Snapshot(),
              (std::vector<std::string>{CachePath("cache0002/{q}.jpg")}));
    EXPECT_EQ(LogCount("cache index ignores 8 paths outside the cache folder\r\n"), 1U);
    std::string found;
    EXPECT_FALSE(cache_->Lookup("2:abs", found));
    EXPECT_TRUE(Exists(victim));
}
