#include "config/file_remover.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"

using vstest::Exists;
using vstest::WriteFile;

namespace {
constexpr Vs5Platform::FileTime kDay = 86400ULL * Vs5Platform::kFileTimeUnitsPerSecond;
}

TEST(FileRemover, RemovesByAgeWithPatternRecursionAndFolders) {
    vstest::TempDir dir;
    WriteFile(dir / "a.log", "x");
    WriteFile(dir / "b.txt", "x");
    WriteFile(dir / "noext", "x");
    mkdir((dir / "sub").c_str(), 0755);
    WriteFile(dir / "sub/c.log", "x");
    Vs5Util::CFileRemover remover;
    Vs5Platform::FileTime now = Vs5Platform::FileTimeNow();

    // 29 days later nothing is older than 30 days.
    EXPECT_TRUE(remover.RemoveOldFiles(dir.path(), "*.log", 30, false, now + 29 * kDay));
    EXPECT_TRUE(Exists(dir / "a.log"));

    // 31 days later the .log files go, in the sub-folder too; others stay.
    EXPECT_TRUE(remover.RemoveOldFiles(dir.path(), "*.log", 30, false, now + 31 * kDay));
    EXPECT_FALSE(Exists(dir / "a.log"));
    EXPECT_TRUE(Exists(dir / "b.txt"));
    EXPECT_TRUE(Exists(dir / "sub"));

    // "*.*" matches names without a dot as well; folders stay unless asked.
    EXPECT_TRUE(remover.RemoveOldFiles(dir.path(), "*.*", 0, false, now + kDay));
    EXPECT_FALSE(Exists(dir / "noext"));
    EXPECT_FALSE(Exists(dir / "b.txt"));
    EXPECT_TRUE(Exists(dir / "sub"));
    WriteFile(dir / "sub/d", "x");
    EXPECT_TRUE(remover.RemoveOldFiles(dir.path(), "*.*", 0, true, now + kDay));
    EXPECT_FALSE(Exists(dir / "sub"));

    // A file newer than the limit (age 0) stays; a missing folder is not an error.
    WriteFile(dir / "fresh", "x");
    EXPECT_TRUE(remover.RemoveOldFiles(dir.path(), "*.*", 0, false, now - kDay));
    EXPECT_TRUE(Exists(dir / "fresh"));
    EXPECT_TRUE(remover.RemoveOldFiles(dir / "missing", "*.*", 0, false));
}

TEST(FileRemover, OldLinksAreRemovedThemselvesDanglingOrNot) {
    vstest::TempDir dir, elsewhere;
    WriteFile(elsewhere / "target", "x");
    ASSERT_EQ(symlink((elsewhere / "target").c_str(), (dir / "live").c_str()), 0);
    ASSERT_EQ(symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
    ASSERT_EQ(symlink(elsewhere.path().c_str(), (dir / "folder").c_str()), 0);
    Vs5Util::CFileRemover remover;
    EXPECT_TRUE(
        remover.RemoveOldFiles(dir.path(), "*.*", 1, false, Vs5Platform::FileTimeNow() + 2 * kDay));
    for (const char* link : {"live", "dangling", "folder"}) {
        struct stat st {};
        EXPECT_NE(lstat((dir / link).c_str(), &st), 0) << link;
    }
    // What the links pointed to is not touched.
    EXPECT_TRUE(Exists(elsewhere / "target"));
}
