#include "commands/web_capture.h"

#include <fcntl.h>
#include <semaphore.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "config/configuration.h"
#include "config/metrics.h"
#include "photocmd/param_readers.h"
#include "platform/process.h"

namespace {

constexpr const char* kToolName = "wkhtmltoimage";

std::string SemaphoreName(const char* role, uint32_t threadId) {
    return std::string("/CWebCaptureSync_") + role + "_" + std::to_string(threadId);
}

// A left-over semaphore of a thread that had this id in a process that
// ended without cleaning up may hold a count; it is removed first so the new
// one starts non-signalled, as the exclusive create then guarantees.
void* CreateSemaphore(const char* role, uint32_t threadId) {
    const std::string name = SemaphoreName(role, threadId);
    sem_unlink(name.c_str());
    sem_t* sem = sem_open(name.c_str(), O_CREAT | O_EXCL, 0600, 0);
    return sem == SEM_FAILED ? nullptr : sem;
}

void ReleaseSemaphore(void*& handle, const char* role, uint32_t threadId) {
    if (!handle)
        return;
    sem_close(static_cast<sem_t*>(handle));
    sem_unlink(SemaphoreName(role, threadId).c_str());
    handle = nullptr;
}

std::string ToolPath(const Settings& settings) {
    if (settings.wkHtmlPath.empty())
        return Vs5Platform::FindOnPath(kToolName);
    return settings.wkHtmlPath + "/" + kToolName;
}

// Milliseconds for WaitProcess: negative (no limit) for 0 seconds.
int TimeoutMs(int seconds) {
    if (seconds <= 0)
        return -1;
    return seconds >= INT_MAX / 1000 ? INT_MAX : seconds * 1000;
}

}  // namespace

CWebCaptureSync::CWebCaptureSync() : threadId_(static_cast<uint32_t>(gettid())) {
    request_ = CreateSemaphore("Request", threadId_);
    response_ = CreateSemaphore("Response", threadId_);
    exit_ = CreateSemaphore("Exit", threadId_);
}

CWebCaptureSync::~CWebCaptureSync() {
    ReleaseSemaphore(request_, "Request", threadId_);
    ReleaseSemaphore(response_, "Response", threadId_);
    ReleaseSemaphore(exit_, "Exit", threadId_);
}

bool CWebCaptureSync::valid() const {
    return request_ && response_ && exit_;
}

namespace Vs4Command {

std::vector<std::string> CaptureOptions(const ParamMap& options) {
    std::vector<std::string> args = {"--quiet"};
    if (options.Has("rwait")) {
        args.push_back("--javascript-delay");
        args.push_back(std::to_string(GetInt(options, "rwait", 0)));
    }
    if (options.Has("width")) {
        args.push_back("--disable-smart-width");
        args.push_back("--width");
        args.push_back(std::to_string(GetInt(options, "width", 0)));
    }
    if (options.Has("height")) {
        args.push_back("--height");
        args.push_back(std::to_string(GetInt(options, "height", 0)));
    }
    return args;
}

bool CaptureWebPage(Configuration& config, const CaptureRequest& request,
                    const std::function<void(const std::string& pngPath)>& load,
                    std::string& error) {
    error.clear();
    // The tool would read an address that begins with "-" as one of its own
    // options, so such an address is refused before anything runs.
    if (!request.url.empty() && request.url[0] == '-') {
        error = "Capture error: \"" + request.url + "\"";
        return false;
    }
    const auto settings = config.settings();
    const std::string pngPath = config.tempFolder() + "/" + request.tempName + ".png";

    // The arguments go to the tool as they are, without a shell, so an
    // address with blanks or quotes reaches it intact.
    std::vector<std::string> argv = {ToolPath(*settings)};
    for (std::string& option : CaptureOptions(ParseParams(request.optionsText)))
        argv.push_back(std::move(option));
    argv.push_back(request.url);
    argv.push_back(pngPath);

    bool captured = false;
    int spawnError = 0;
    ++Metrics::Instance().captures;
    const pid_t pid = Vs5Platform::SpawnProcess(argv, config.tempFolder(), spawnError);
    if (pid < 0) {
        error = "App run error: " + std::to_string(spawnError);
    } else {
        int exitCode = 0;
        if (!Vs5Platform::WaitProcess(pid, TimeoutMs(settings->webCaptureTimeout), exitCode)) {
            Vs5Platform::KillProcess(pid);
            error = "Capture timeout";
        } else if (exitCode != 0) {
            error = request.errorStyle == CaptureErrorStyle::kUrl
                        ? "Capture error: \"" + request.url + "\""
                        : "Capture error: \"" + std::to_string(exitCode) + "\"";
        } else {
            load(pngPath);
            captured = true;
        }
    }
    unlink(pngPath.c_str());
    if (!captured)
        ++Metrics::Instance().captureFailures;
    return captured;
}

}  // namespace Vs4Command
