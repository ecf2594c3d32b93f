// A module folder of its own for each test, with a vistrel5.ini written by the
// test, and a configuration loaded on it.
#pragma once

#include <memory>
#include <string>

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
