#include "config/configuration.h"

#include "config/file_remover.h"
#include "platform/codepage.h"
#include "platform/module.h"
#include "platform/text.h"

using Vs5Platform::JoinPath;

namespace {

std::mutex gInstanceLock;
std::unique_ptr<Configuration> gInstance;

// Paths are copied into buffers of 260 characters.
constexpr size_t kMaxPathUnits = 260;

}  // namespace

Configuration& Configuration::Instance() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    if (!gInstance)
        gInstance = std::make_unique<Configuration>();
    return *gInstance;
}

void Configuration::DestroyInstance() {
    std::unique_ptr<Configuration> doomed;
    {
        std::lock_guard<std::mutex> guard(gInstanceLock);
        doomed = std::move(gInstance);
    }
}

Configuration::Configuration(Vs5Platform::LocalClock clock)
    : requestLog_(clock), systemLog_(clock), settings_(std::make_shared<Settings>()) {}

Configuration::~Configuration() {
    requestLog_.CloseLog();
    systemLog_.CloseLog();
    if (watcher_.joinable()) {
        quit_.Set();
        watcher_.join();
    }
}

bool Configuration::Load(const std::string& moduleFolder) {
    moduleFolder_ = moduleFolder;
    logFolder_ = JoinPath(moduleFolder_, "LogFiles");
    tempFolder_ = JoinPath(moduleFolder_, "TempFiles");
    cacheFolder_ = JoinPath(moduleFolder_, "Cache");
    noCacheFolder_ = JoinPath(cacheFolder_, "nocache");
    frameFolder_ = JoinPath(moduleFolder_, "Frame");
    commandFolder_ = JoinPath(moduleFolder_, "Command");
    imageFolder_ = JoinPath(commandFolder_, "Images");
    iniPath_ = JoinPath(moduleFolder_, "vistrel5.ini");

    for (const std::string* folder : {&logFolder_, &tempFolder_, &cacheFolder_, &noCacheFolder_,
                                      &frameFolder_, &commandFolder_, &imageFolder_})
        Vs5Platform::CreateFolder(*folder);

    Vs5Util::CFileRemover remover;
    remover.RemoveOldFiles(tempFolder_, "*.*", 0, false);
    remover.RemoveOldFiles(noCacheFolder_, "*.*", 0, false);

    ReadSettings(true);

    requestLog_.OpenLog(logFolder_, "%04d%02d%02d.log", LogFile::kRequestLog);
    systemLog_.OpenLog(logFolder_, "System_%04d%02d%02d.log", LogFile::kSystemLog);

    // The cache folder is settled while reading the settings, before the logs
    // are open; its failure is reported now so that the line is not lost.
    std::lock_guard<std::mutex> guard(readLock_);
    if (pendingCachePathError_ != 0) {
        requestLog_.WriteLine("# Cannot create a directory specified by ServerCachePath (%d).\r\n",
                              pendingCachePathError_);
        pendingCachePathError_ = 0;
    }
    for (const std::string& line : pendingProblems_)
        systemLog_.WriteText(line);
    pendingProblems_.clear();
    return true;
}

void Configuration::ReadSettings(bool initial) {
    // The time stamp is taken before the content is read: a write that lands
    // in between changes the time again and is picked up by the next reload.
    Vs5Platform::FileTime stamp = Vs5Platform::LastWriteTime(iniPath_).value_or(0);
    ApplySettings(Vs5Platform::IniFile::Load(iniPath_), stamp, initial);
}

void Configuration::ApplySettings(const Vs5Platform::IniFile& ini, Vs5Platform::FileTime stamp,
                                  bool initial) {
    std::lock_guard<std::mutex> guard(readLock_);
    std::shared_ptr<const Settings> previous = settings();
    auto fresh =
        std::make_shared<Settings>(Settings::Read(ini, initial ? nullptr : previous.get()));

    Vs5Platform::SetAnsiCodePage(fresh->ansiCodePage);
    std::vector<std::string> problems = fresh->problems;
    FillIpFilter(fresh->accessPermit, problems);
    // Before the first reading the logs are not open yet; Load writes these.
    for (const std::string& line : problems) {
        if (systemLog_.IsOpen())
            systemLog_.WriteText(line);
        else
            pendingProblems_.push_back(line);
    }
    if (initial)
        CreateCacheFolders(*fresh);
    if (listener_)
        listener_(*fresh);

    std::lock_guard<std::mutex> snapshotGuard(snapshotLock_);
    settings_ = std::move(fresh);
    iniTimeStamp_ = stamp;
}

void Configuration::FillIpFilter(const std::string& accessPermit,
                                 std::vector<std::string>& problems) {
    std::vector<std::string> fields;
    Vs5Platform::ForEachToken(accessPermit, ";", [&](std::string_view field) {
        // A field too long for its 31-character buffer ends the list.
        if (Vs5Platform::Utf16Length(field) > 31)
            return false;
        std::string pattern = Vs5Platform::Utf8ToAnsi(field);
        if (CIpFilter::IsDottedQuad(pattern))
            fields.push_back(std::move(pattern));
        else
            problems.push_back("AccessPermit entry \"" + std::string(field) +
                               "\" is not a dotted IPv4 address; it is skipped.\r\n");
        return true;
    });
    // Swapped in whole, so that a reload never refuses an allowed client.
    ipFilter_.Assign(fields);
}

void Configuration::CreateCacheFolders(const Settings& s) {
    if (!s.cachePath.empty()) {
        if (Vs5Platform::CreateFolder(s.cachePath))
            cacheFolder_ = s.cachePath;
        else
            pendingCachePathError_ = errno;
    }
    for (int i = 0; i < s.cacheSubFolders; ++i) {
        char name[32];
        snprintf(name, sizeof(name), "cache%04d", i);
        Vs5Platform::CreateFolder(JoinPath(cacheFolder_, name));
    }
}

std::shared_ptr<const Settings> Configuration::settings() const {
    std::lock_guard<std::mutex> guard(snapshotLock_);
    return settings_;
}

Vs5Platform::FileTime Configuration::iniTimeStamp() const {
    std::lock_guard<std::mutex> guard(snapshotLock_);
    return iniTimeStamp_;
}

bool Configuration::FindDefaultCommand(const std::string& sourcePath, std::string& command) const {
    const std::shared_ptr<const Settings> s = settings();
    if (s->defaultCommands.empty())
        return false;
    std::string path =
        Vs5Platform::AsciiLower(Vs5Platform::TruncateUtf16(sourcePath, kMaxPathUnits));
    for (const DefaultCommandEntry& entry : s->defaultCommands) {
        if (path.find(entry.key) != std::string::npos) {
            command = entry.command;
            return true;
        }
    }
    return false;
}

bool Configuration::FindImpersonation(const std::string& sourcePath, std::string& user,
                                      std::string& password) const {
    const std::shared_ptr<const Settings> s = settings();
    if (s->impersonations.empty())
        return false;
    std::string path =
        Vs5Platform::AsciiLower(Vs5Platform::TruncateUtf16(sourcePath, kMaxPathUnits));
    for (const ImpersonationEntry& entry : s->impersonations) {
        if (path.find(entry.key) != std::string::npos) {
            user = entry.user;
            password = entry.password;
            return true;
        }
    }
    return false;
}

namespace {

// Client-supplied text (paths, scripts, URLs) goes into a log line as one
// field: a carriage return or line feed in it must not start a line of its
// own, which could pass for a service event.
std::string OneLine(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

}  // namespace

void Configuration::LogRequest(const std::string& clientIp, int returnCode,
                               const std::string& source, const std::string& command, int cacheHit,
                               int elapsedMs) {
    auto s = settings();
    if (!s->requestLogging || (s->logErrorsOnly && returnCode == 0))
        return;
    requestLog_.WriteLine("%s,%d,%s,%s,%d,%d\r\n", clientIp.c_str(), returnCode,
                          OneLine(source).c_str(), OneLine(command).c_str(), cacheHit, elapsedMs);
}

void Configuration::LogRequestWithMessage(const std::string& clientIp, int returnCode,
                                          const std::string& source, const std::string& command,
                                          int elapsedMs, const std::string& message) {
    auto s = settings();
    if (!s->requestLogging || (s->logErrorsOnly && returnCode == 0))
        return;
    requestLog_.WriteLine("%s,%d,%s,%s,%d,%d,%s\r\n", clientIp.c_str(), returnCode,
                          OneLine(source).c_str(), OneLine(command).c_str(), 0, elapsedMs,
                          OneLine(message).c_str());
}

void Configuration::StartWatcher(const Vs5Platform::ManualResetEvent& stop) {
    if (watcher_.joinable())
        return;
    watcher_ = std::thread(&Configuration::WatchIniFile, this, &stop);
}
