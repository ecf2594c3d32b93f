// A result cache on a fresh module folder with a real configuration loaded
// from its own INI file, a settable local clock, and helpers to make result
// files and read the system log.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "cache/result_cache.h"
#include "config/configuration.h"
#include "platform/module.h"

class CacheFixture : public ::testing::Test {
protected:
    // The INI text written before the configuration loads; tests override it.
    virtual std::string IniText() const { return "[Server]\r\nCacheSubFolders=8\r\n"; }

    void SetUp() override {
        char pattern[] = "/tmp/vs_cache_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        module_ = pattern;
        std::ofstream(module_ + "/vistrel5.ini", std::ios::binary) << IniText();
        config_ = std::make_unique<Configuration>();
        ASSERT_TRUE(config_->Load(module_));
        cache_ = MakeCache();
    }

    void TearDown() override {
        cache_.reset();
        config_.reset();
        std::filesystem::remove_all(module_);
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
    std::string CachePath(const std::string& name) const {
        return Vs5Platform::JoinPath(cacheFolder(), name);
    }

    // A (sparse) file of `size` bytes.
    static void MakeFile(const std::string& path, off_t size) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << path;
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }

    // A result file in a sub-folder, entered under `key`.
    std::string AddEntry(const std::string& key, off_t size) {
        std::string path;
        cache_->MakeResultPath("/src/a.jpg", true, path);
        MakeFile(path, size);
        EXPECT_TRUE(cache_->Insert(key, path));
        return path;
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void WriteFile(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static bool Exists(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0;
    }

    std::string SystemLog() const { return ReadFile(config_->systemLog().CurrentPath()); }
    size_t LogCount(const std::string& text) const {
        std::string log = SystemLog();
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    }

    void AdvanceSeconds(int seconds) {
        now_.second += seconds;
        while (now_.second >= 60) {
            now_.second -= 60;
            ++now_.minute;
        }
    }
    double NowDate() const { return Vs5Platform::AutomationDate(now_); }

    std::string module_;
    std::unique_ptr<Configuration> config_;
    std::unique_ptr<ResultCache> cache_;
    Vs5Platform::LocalTime now_{2026, 3, 1, 10, 0, 0, 0};
};
