// A module folder of its own for each test, with a vistrel5.ini written by the
// test, and a configuration loaded on it; and a wait for what the threads
// working on it do to its files and logs.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "config/configuration.h"
#include "support/temp_dir.h"

class TestModuleFolder {
public:
    explicit TestModuleFolder(const std::string& iniText) {
        vstest::WriteFile(dir_ / "vistrel5.ini", iniText);
        config_->Load(dir_.path());
    }

    Configuration& config() { return *config_; }
    const std::string& path() const { return dir_.path(); }
    std::string requestLog() { return vstest::ReadFile(config_->requestLog().CurrentPath()); }
    std::string systemLog() { return vstest::ReadFile(config_->systemLog().CurrentPath()); }

private:
    vstest::TempDir dir_;  // outlives the configuration and its open logs
    std::unique_ptr<Configuration> config_ = std::make_unique<Configuration>();
};

// Polls `condition` for up to ten seconds; it is not asked again once true.
inline bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 400; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(25)))
        if (condition())
            return true;
    return false;
}
