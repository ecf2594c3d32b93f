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
    std::filesystem::create_directories(dir / "sub");
    for (const char* name : {"a.log", "b.txt", "noext", "sub/c.log", "spared.log"})
        WriteFile(dir / name, "x");
    // Links are aged and removed themselves, dangling or not; their targets stay.
    vstest::TempDir elsewhere;
    WriteFile(elsewhere / "target", "x");
    for (auto [link, target] : {std::pair{"live", elsewhere / "target"},
                                {"dangling", dir / "gone"},
                                {"folder", elsewhere.path()}})
        ASSERT_EQ(symlink(target.c_str(), (dir / link).c_str()), 0);
    Vs5Util::CFileRemover remover;
    remover.Spare(dir / "spared.log");
    const Vs5Platform::FileTime now = Vs5Platform::FileTimeNow();
    const struct {
        const char* pattern;
        int days;
        bool folders;
        Vs5Platform::FileTime at;
        std::vector<const char*> gone, kept;
    } steps[] = {
        // Exactly 30 days old is not older than 30 days; a day later it is. The
        // pattern applies to folders as well.
        {"*.log", 30, false, now + 30 * kDay, {}, {"a.log", "sub/c.log"}},
        {"*.log", 30, false, now + 31 * kDay, {"a.log"}, {"b.txt", "sub/c.log", "spared.log"}},
        // A file from the future (a clock set back) is brand new.
        {"*.*", -1, false, now - kDay, {}, {"b.txt"}},
        // "*.*" matches names without a dot too; folders stay unless asked.
        {"*.*",
         0,
         false,
         now + kDay,
         {"b.txt", "noext", "sub/c.log", "live", "folder"},
         {"sub", "spared.log"}},
        {"*.*", 0, true, now + kDay, {"sub"}, {"spared.log"}}};
    for (const auto& s : steps) {
        EXPECT_TRUE(remover.RemoveOldFiles(dir.path(), s.pattern, s.days, s.folders, s.at));
        for (const char* name : s.gone)
            EXPECT_FALSE(Exists(dir / name)) << name;
        for (const char* name : s.kept)
            EXPECT_TRUE(Exists(dir / name)) << name;
    }
    EXPECT_TRUE(remover.RemoveOldFiles(dir / "missing", "*.*", 0, false));
    struct stat st {};
    EXPECT_NE(lstat((dir / "dangling").c_str(), &st), 0);
    EXPECT_TRUE(Exists(elsewhere / "target"));
}
