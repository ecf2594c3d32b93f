// A module folder of its own for each test, with a vistrel5.ini written by the
// test, and a configuration loaded on it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "config/configuration.h"

class TestModuleFolder {
public:
    explicit TestModuleFolder(const std::string& iniText) {
        char pattern[] = "/tmp/vs_server_XXXXXX";
        path_ = mkdtemp(pattern);
        std::ofstream(path_ + "/vistrel5.ini") << iniText;
        config_ = std::make_unique<Configuration>();
        config_->Load(path_);
    }
    ~TestModuleFolder() {
        config_.reset();
        std::filesystem::remove_all(path_);
    }

    Configuration& config() { return *config_; }
    const std::string& path() const { return path_; }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string requestLog() { return ReadFile(config_->requestLog().CurrentPath()); }
    std::string systemLog() { return ReadFile(config_->systemLog().CurrentPath()); }

private:
    std::string path_;
    std::unique_ptr<Configuration> config_;
};
