// The one process-wide configuration: working folders, the current settings,
// both logs and the IP filter. Created on first use, loaded once by the
// service start, reloaded by the INI watcher, destroyed by the service stop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/ip_filter.h"
#include "config/log_file.h"
#include "config/settings.h"
#include "platform/event.h"
#include "platform/file_time.h"

class Configuration {
public:
    explicit Configuration(Vs5Platform::LocalClock clock = Vs5Platform::LocalNow);
    ~Configuration();  // closes both logs, then waits for the watcher
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;

    // The process-wide instance, created on first use.
    static Configuration& Instance();
    // Destroys the process-wide instance (the service stop does this).
    static void DestroyInstance();

    // Creates the working folders under `moduleFolder`, empties the temporary
    // folders, reads the INI file and opens both logs.
    bool Load(const std::string& moduleFolder);

    // Reads the INI file and publishes a new settings snapshot. The first
    // reading also sets the start-only values and creates the cache folders.
    void ReadSettings(bool initial);
    // Publishes the settings of an INI file already read, whose last-write
    // time was `stamp`; values that cannot be used go to the system log.
    void ApplySettings(const Vs5Platform::IniFile& ini, Vs5Platform::FileTime stamp, bool initial);

    // Called with every new reading of the settings, the first included, for
    // values that live outside the configuration (the image pixel limit).
    // Set it before Load.
    void SetSettingsListener(std::function<void(const Settings&)> listener) {
        listener_ = std::move(listener);
    }

    // The current settings; the snapshot stays valid for as long as it is held.
    std::shared_ptr<const Settings> settings() const;

    bool FindDefaultCommand(const std::string& sourcePath, std::string& command) const;
    bool FindImpersonation(const std::string& sourcePath, std::string& user,
                           std::string& password) const;

    void LogRequest(const std::string& clientIp, int returnCode, const std::string& source,
                    const std::string& command, int cacheHit, int elapsedMs);
    void LogRequestWithMessage(const std::string& clientIp, int returnCode,
                               const std::string& source, const std::string& command, int elapsedMs,
                               const std::string& message);

    // Starts the INI watcher; it ends when `stop` is set.
    void StartWatcher(const Vs5Platform::ManualResetEvent& stop);
    // Watcher wait slice; the hourly no-cache clean-up runs every 60th slice.
    void SetWatcherTimeoutForTesting(int ms) { watcherTimeoutMs_ = ms; }
    // The time the no-cache clean-up measures file ages against.
    void SetWatcherClockForTesting(std::function<Vs5Platform::FileTime()> clock) {
        watcherClock_ = std::move(clock);
    }
    // How long the INI file must stay unchanged before it is read.
    void SetWatcherSettleForTesting(int ms) { watcherSettleMs_ = ms; }

    LogFile& requestLog() { return requestLog_; }
    LogFile& systemLog() { return systemLog_; }
    CIpFilter& ipFilter() { return ipFilter_; }
    const CIpFilter& ipFilter() const { return ipFilter_; }

    // Folders, fixed by Load (no trailing slash).
    const std::string& moduleFolder() const { return moduleFolder_; }
    const std::string& logFolder() const { return logFolder_; }
    const std::string& tempFolder() const { return tempFolder_; }
    const std::string& cacheFolder() const { return cacheFolder_; }
    const std::string& noCacheFolder() const { return noCacheFolder_; }
    const std::string& frameFolder() const { return frameFolder_; }
    const std::string& commandFolder() const { return commandFolder_; }
    const std::string& imageFolder() const { return imageFolder_; }
    const std::string& iniPath() const { return iniPath_; }
    Vs5Platform::FileTime iniTimeStamp() const;

private:
    void FillIpFilter(const std::string& accessPermit, std::vector<std::string>& problems);
    void CreateCacheFolders(const Settings& s);
    void WatchIniFile(const Vs5Platform::ManualResetEvent* stop);
    // Waits until the INI file is quiet and reads it whole; false when a stop
    // event was set first.
    bool ReadQuietIni(const Vs5Platform::ManualResetEvent* stop, Vs5Platform::IniFile& ini,
                      Vs5Platform::FileTime& stamp);

    LogFile requestLog_;
    LogFile systemLog_;
    CIpFilter ipFilter_;  // has its own lock

    std::string moduleFolder_, logFolder_, tempFolder_, cacheFolder_, noCacheFolder_;
    std::string frameFolder_, commandFolder_, imageFolder_, iniPath_;

    std::mutex readLock_;  // serialises ReadSettings; guards pendingCachePathError_
    int pendingCachePathError_ = 0;
    std::vector<std::string> pendingProblems_;  // system-log lines from before Load opened it

    mutable std::mutex snapshotLock_;  // guards settings_ and iniTimeStamp_
    std::shared_ptr<const Settings> settings_;
    Vs5Platform::FileTime iniTimeStamp_ = 0;

    std::function<void(const Settings&)> listener_;  // set before Load, then only read
    std::thread watcher_;
    Vs5Platform::ManualResetEvent quit_;  // ends the watcher when the object goes first
    int watcherTimeoutMs_ = 60000;
    int watcherSettleMs_ = 200;
    std::function<Vs5Platform::FileTime()> watcherClock_ = Vs5Platform::FileTimeNow;
};
