#include <sys/resource.h>

#include <algorithm>
#include <csignal>

#include "cache/result_path.h"
#include "cache_fixture.h"

static constexpr char kBom[] = "\xEF\xBB\xBF";

class CacheIndexTest : public CacheFixture {};

TEST_F(CacheIndexTest, SavesAndLoadsEveryEntryAndTheQueueAcrossARestart) {
    const std::string pathB = AddEntry("222:b", 4096), pathA = AddEntry("111:a", 70000);
    // The longest line written is 1023 bytes with its line feed.
    const std::string at(1022 - pathA.size() - 3, 'k');
    const std::string pathK = AddEntry(at, 1), tooLong = AddEntry(at + "k", 1);
    const std::string sub = CachePath("cache0002/"),
                      qAt = sub + std::string(1022 - sub.size(), 'q');
    const std::string gone[] = {CachePath("cache0001/{gone}.jpg"), sub + "사진,2.jpg", qAt};
    for (const std::string& path : {gone[0], gone[1], gone[2], qAt + "q"})
        cache_->QueueDeletion(path);
    // A path with a comma would not read back: it stays in memory only.
    const std::string comma = sub + "{a,b}.jpg";
    MakeFile(comma, 20);
    ASSERT_TRUE(cache_->Insert("3:comma", comma));
    ASSERT_EQ(cache_->SaveIndex(cacheFolder()), 1);
    EXPECT_EQ(ReadFile(CachePath("index.dat")),
              kBom + ("111:a," + pathA + ",70000\r\n222:b," + pathB + ",4096\r\n" + at + "," +
                      pathK + ",1\r\n"));
    EXPECT_EQ(ReadFile(CachePath("delindex.dat")),
              kBom + (gone[0] + "\r\n" + gone[1] + "\r\n" + gone[2] + "\r\n"));
    EXPECT_FALSE(Exists(CachePath("index.dat.tmp")));
    const std::string log = SystemLog();
    EXPECT_NE(
        log.find(std::string("cache index saving: 5\r\n") + "10:00:00 " +
                 "cache index cannot hold 2 paths (a comma, a line break or too long), such as " +
                 comma + "\r\n"),
        std::string::npos);
    // The path too long for the deletion list is named by its beginning.
    EXPECT_EQ(
        LogCount("cache deletion list cannot hold the path " + qAt.substr(0, 600) + "...\r\n"), 1U);
    EXPECT_EQ(LogCount("cache index saved\r\n"), 1U);

    MakeFile(CachePath("cache0001/notes.txt"), 3);  // not a result: left alone
    ASSERT_TRUE(Vs5Platform::CreateFolder(CachePath("keep")));
    MakeFile(CachePath("keep/{kept}.jpg"), 3);  // not a result folder: left alone
    cache_.reset();                             // a restart a minute later
    AdvanceSeconds(60);
    cache_ = MakeCache();
    ASSERT_EQ(cache_->LoadIndex(cacheFolder()), 1);
    EXPECT_EQ(LogCount("cache index loaded: 3\r\n"), 1U);
    EXPECT_EQ(cache_->TotalBytes(), 74097);
    for (auto [key, path, size] :
         {std::tuple{"111:a", pathA, 70000U}, {"222:b", pathB, 4096U}, {at.c_str(), pathK, 1U}}) {
        auto entry = cache_->Peek(key);
        ASSERT_TRUE(entry) << key;
        EXPECT_EQ(std::tie(entry->path, entry->size), std::tie(path, size));
        EXPECT_EQ(entry->lastAccess, NowDate());  // last access is the load time
    }
    // After the deletion list come the result files no entry names.
    std::vector<std::string> queued = cache_->danglingFiles()->Snapshot();
    ASSERT_EQ(queued.size(), 5U);
    EXPECT_EQ(std::vector(queued.begin(), queued.begin() + 3), std::vector(gone, gone + 3));
    std::sort(queued.begin() + 3, queued.end());
    EXPECT_EQ(std::vector(queued.begin() + 3, queued.end()),
              (std::vector{std::min(comma, tooLong), std::max(comma, tooLong)}));
    EXPECT_EQ(LogCount("cache index lists no entry for 2 result files; they are deleted\r\n"), 1U);

    // With the queue empty at the next stop, the old deletion list goes.
    for (std::string path; cache_->danglingFiles()->TryPop(path);) {
    }
    ASSERT_EQ(cache_->SaveIndex(cacheFolder()), 1);
    EXPECT_FALSE(Exists(CachePath("delindex.dat")));
}

TEST_F(CacheIndexTest, MissingIndexEmptiesTheFolderButKeepsSubFolders) {
    MakeFile(CachePath("cache0001/{old}.jpg"), 10);
    MakeFile(CachePath("cache0007/{old}.png"), 10);
    MakeFile(CachePath("stray.txt"), 10);
    WriteFile(CachePath("delindex.dat"), kBom + CachePath("cache0001/{q}.jpg") + "\r\n");
    EXPECT_EQ(cache_->LoadIndex(cacheFolder()), 0);
    for (const char* gone : {"cache0001/{old}.jpg", "cache0007/{old}.png", "stray.txt"})
        EXPECT_FALSE(Exists(CachePath(gone))) << gone;
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(Exists(CachePath(SubFolderName(i))));
    EXPECT_TRUE(Exists(config_->noCacheFolder()));
    EXPECT_EQ(cache_->EntryCount(), 0U);
    EXPECT_EQ(cache_->danglingFiles()->size(), 0U);  // the list went with the folder
    EXPECT_EQ(LogCount("cache index load"), 1U);
}

TEST_F(CacheIndexTest, AFailedOrInterruptedSaveKeepsThePreviousIndex) {
    const std::string old = kBom + ("9:old," + CachePath("cache0005/{old}.jpg") + ",5\r\n");
    WriteFile(CachePath("index.dat"), old);
    const std::string path = AddEntry("1:new", 10);
    // The temporary file cannot be created where a folder stands.
    ASSERT_TRUE(Vs5Platform::CreateFolder(CachePath("index.dat.tmp")));
    EXPECT_EQ(cache_->SaveIndex(cacheFolder()), 0);
    EXPECT_EQ(LogCount("cache index not saved, the previous one stays: create: "), 1U);
    ASSERT_EQ(rmdir(CachePath("index.dat.tmp").c_str()), 0);
    // Nor can it replace a folder of the index's name.
    ASSERT_TRUE(Vs5Platform::CreateFolder(CachePath("delindex.dat")));
    MakeFile(CachePath("delindex.dat/x"), 1);
    cache_->QueueDeletion(CachePath("cache0001/{q}.jpg"));
    EXPECT_EQ(cache_->SaveIndex(cacheFolder()), 1);
    EXPECT_EQ(LogCount("cache deletion list not saved: rename: "), 1U);
    EXPECT_FALSE(Exists(CachePath("delindex.dat.tmp")));
    WriteFile(CachePath("index.dat"), old);

    GTEST_FLAG_SET(death_test_style, "fast");
    // A full disk: the write fails part way, the previous index stays and the
    // temporary file goes.
    const auto saveOnAFullDisk = [this] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit full{8, 8};
        setrlimit(RLIMIT_FSIZE, &full);
        alarm(20);
        _exit(cache_->SaveIndex(cacheFolder()) == 0 ? 7 : 1);
    };
    EXPECT_EXIT(saveOnAFullDisk(), ::testing::ExitedWithCode(7), "");
    EXPECT_EQ(ReadFile(CachePath("index.dat")), old);
    EXPECT_FALSE(Exists(CachePath("index.dat.tmp")));
    // A process dying before the rename: the forked child shares this folder
    // and dies where a crash would hit.
    cache_->SetBeforeRenameHookForTesting([](const std::string&) { _exit(3); });
    EXPECT_EXIT(cache_->SaveIndex(cacheFolder()), ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(ReadFile(CachePath("index.dat")), old);
    EXPECT_EQ(ReadFile(CachePath("index.dat.tmp")), kBom + ("1:new," + path + ",10\r\n"));
    // The next start loads the old index and ignores the leftover.
    cache_ = MakeCache();
    EXPECT_EQ(cache_->LoadIndex(cacheFolder()), 1);
    EXPECT_TRUE(cache_->Peek("9:old"));
    EXPECT_FALSE(cache_->Peek("1:new"));
}

TEST_F(CacheIndexTest, ReadsWellFormedLinesUpToTheLimitAndOnlyPathsInsideTheFolder) {
    const std::string p = CachePath("cache0001/{p}.jpg"), victim = module_ + "/victim.txt";
    MakeFile(p, 10);
    MakeFile(victim, 10);
    // The longest line a reader takes: 1023 bytes with its line feed.
    const std::string at(1022 - p.size() - 3, 'k'), sub = CachePath("cache0002/");
    const std::string qAt = sub + std::string(1022 - sub.size(), 'q');
    std::string index = kBom + ("a," + p + ",1\r\n,,b,,,," + p + ",,77,extra\r\nc," + p +
                                ",12abc\nd," + p + ",abc\r\ne," + p + ",99999999999\r\nf," + p +
                                "\r\ng,,,\r\nbad line\r\n\r\n" + at + "," + p + ",2\r\n" + at +
                                "k," + p + ",2\r\na," + p + ",5\r\nnul," + p + '\0' + "x,10\r\n");
    std::string queue = kBom + (qAt + "\r\n\r\n" + qAt + "q\r\n" + sub + "2.jpg\n");
    // A damaged or planted index must not make the cache hand out, or the
    // file remover delete, files that the cache never made.
    for (const std::string& path :
         {victim, CachePath("cache0001/../../victim.txt"), std::string("victim.txt"),
          CachePath(".."), sub + "..", CachePath("")}) {
        index += "k" + std::to_string(index.size()) + "," + path + ",10\r\n";
        queue += path + "\r\n";
    }
    WriteFile(CachePath("index.dat"), index + "z," + p + ",3");  // the last line has no end
    WriteFile(CachePath("delindex.dat"), queue + sub + "3.jp");  // this one was cut short
    ASSERT_EQ(cache_->LoadIndex(cacheFolder()), 1);
    const std::pair<std::string, uint32_t> expected[] = {
        {"a", 1}, {"b", 77}, {"c", 12}, {"d", 0}, {"e", 4294967295U}, {at, 2}, {"z", 3}};
    for (const auto& [key, size] : expected) {
        ASSERT_TRUE(cache_->Peek(key)) << key;
        EXPECT_EQ(cache_->Peek(key)->path, p);
        EXPECT_EQ(cache_->Peek(key)->size, size) << key;
    }
    // A repeated key keeps its first entry and counts once.
    EXPECT_EQ(cache_->EntryCount(), 7U);
    EXPECT_EQ(cache_->TotalBytes(), 1 + 77 + 12 + 4294967295LL + 2 + 3);
    EXPECT_EQ(cache_->danglingFiles()->Snapshot(), (std::vector<std::string>{qAt, sub + "2.jpg"}));
    EXPECT_EQ(LogCount("cache index ignores 13 paths outside the cache folder\r\n"), 1U);
    EXPECT_EQ(LogCount("lists no entry"), 0U);
    EXPECT_TRUE(Exists(victim));
}
