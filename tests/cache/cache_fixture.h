// A result cache on a fresh module folder with a real configuration loaded
// from its own INI file, a settable local clock, and helpers to make result
// files and read the system log.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "cache/result_cache.h"
#include "config/configuration.h"
#include "platform/module.h"
#include "support/temp_dir.h"
#include "support/text_count.h"

using vstest::Exists;
using vstest::ReadFile;
using vstest::WriteFile;

class CacheFixture : public ::testing::Test {
protected:
    // The INI text written before the configuration loads; tests override it.
    virtual std::string IniText() const { return "[Server]\r\nCacheSubFolders=8\r\n"; }

    void SetUp() override {
        WriteFile(home_ / "vistrel5.ini", IniText());
        ASSERT_TRUE(config_->Load(module_));
        cache_ = MakeCache();
    }

    std::unique_ptr<ResultCache> MakeCache() {
        ResultCacheSetup setup = SetupFromConfiguration(*config_);
        setup.clock = [this] { return now_; };
        // Files made by a test are younger than a second; the clean-up of a
        // folder without an index must see them as old.
        setup.fileClock = [] {
            return Vs5Platform::FileTimeNow() + 10 * Vs5Platform::kFileTimeUnitsPerSecond;
        };
        return std::make_unique<ResultCache>(std::move(setup));
    }

    const std::string& cacheFolder() const { return config_->cacheFolder(); }
    std::string CachePath(const std::string& name) const { return cacheFolder() + "/" + name; }

    // A (sparse) file of `size` bytes.
    static void MakeFile(const std::string& path, off_t size) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << path;
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }

    // A result file in a sub-folder, entered under `key` or not.
    std::string AddFile(off_t size) {
        std::string path;
        cache_->MakeResultPath("/src/a.jpg", true, path);
        MakeFile(path, size);
        return path;
    }
    std::string AddEntry(const std::string& key, off_t size) {
        std::string path = AddFile(size);
        EXPECT_TRUE(cache_->Insert(key, path));
        return path;
    }

    std::string SystemLog() const { return ReadFile(config_->systemLog().CurrentPath()); }
    size_t LogCount(const std::string& text) const { return vstest::CountOf(SystemLog(), text); }

    void AdvanceSeconds(int seconds) {
        now_.minute += (now_.second + seconds) / 60;
        now_.second = (now_.second + seconds) % 60;
    }
    double NowDate() const { return Vs5Platform::AutomationDate(now_); }

    // Declared in the order they are needed; destroyed the other way round.
    vstest::TempDir home_;
    const std::string module_ = home_.path();
    std::unique_ptr<Configuration> config_ =
        std::make_unique<Configuration>([this] { return now_; });
    Vs5Platform::LocalTime now_{2026, 3, 1, 10, 0, 0, 0};
    std::unique_ptr<ResultCache> cache_;
};
