#include "worker/worker_process.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "config/configuration.h"
#include "config/metrics.h"
#include "image/bitmap.h"
#include "platform/logon.h"
#include "platform/module.h"
#include "platform/process.h"
#include "worker/pipe_io.h"
#include "worker/pipe_protocol.h"

namespace Vs5Worker {

namespace {

constexpr int kConnectAttempts = 5;
constexpr int kConnectWaitMs = 3000;
constexpr int kStopWaitMs = 10000;

}  // namespace

CWorkerProcess::CWorkerProcess(Configuration& config, std::string program)
    : config_(config), program_(std::move(program)) {}

CWorkerProcess::~CWorkerProcess() {
    Stop();
}

int CWorkerProcess::timeoutMs() const {
    int seconds = config_.settings()->workerTimeout;
    return seconds > 0 ? seconds * 1000 : -1;
}

bool CWorkerProcess::Start() {
    const int tid = static_cast<int>(gettid());
    const std::string name = "vs5pipe_" + std::to_string(tid);
    const std::string socketPath = Vs5Platform::JoinPath(config_.tempFolder(), name);
    unlink(socketPath.c_str());  // a worker of an earlier run may have left it
    // The worker decodes hostile images: it gets the pixel limit in force now.
    const std::string maxPixels = std::to_string(config_.settings()->maxImagePixels);
    int error = 0;
    Vs5Platform::OwnIdentityScope ownIdentity;  // a replacement may start mid-impersonation
    pid_ = Vs5Platform::SpawnProcess({program_, name, "--max-pixels", maxPixels},
                                     config_.tempFolder(), error);
    if (pid_ < 0) {
        config_.requestLog().WriteLine("# Remote image process failed to created(error:%d).\r\n",
                                       error);
        return false;
    }
    ++starts_;
    config_.requestLog().WriteLine("# Remote image process(%d) is created successfully.\r\n", tid);
    if (!Connect(socketPath)) {
        Vs5Platform::KillProcess(pid_);
        pid_ = -1;
        unlink(socketPath.c_str());
        return false;
    }
    started_ = true;
    ++Metrics::Instance().workerStarts;
    return true;
}

// Waits for the worker's socket and connects; the worker accepts one
// connection and removes the path, so nobody else can reach it.
bool CWorkerProcess::Connect(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(address.sun_path)) {
        config_.requestLog().WriteLine("# %s\r\n", "The worker socket path is too long");
        return false;
    }
    memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    using Clock = std::chrono::steady_clock;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectWaitMs);
        bool exited = false;
        while (Clock::now() < deadline) {
            int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd >= 0 &&
                connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
                fd_ = fd;
                ++Metrics::Instance().workersAlive;
                return true;
            }
            if (fd >= 0)
                close(fd);
            int code = 0;
            if (Vs5Platform::WaitProcess(pid_, 0, code)) {
                exited = true;  // it will never listen
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        config_.requestLog().WriteLine("# %s\r\n", "Cannot connect to the remote image process");
        if (exited) {
            pid_ = -1;
            return false;
        }
    }
    return false;
}

void CWorkerProcess::Close() {
    if (fd_ >= 0) {
        close(fd_);
        --Metrics::Instance().workersAlive;
    }
    fd_ = -1;
}

void CWorkerProcess::Replace() {
    ++Metrics::Instance().workerReplacements;
    Close();
    if (pid_ > 0)
        Vs5Platform::KillProcess(pid_);
    pid_ = -1;
    if (started_)
        Start();
}

bool CWorkerProcess::EnsureRunning() {
    if (fd_ >= 0)
        return true;
    if (!started_)
        return false;
    return Start();
}

void CWorkerProcess::Stop() {
    if (fd_ >= 0) {
        std::vector<uint8_t> header = EncodeHeader(kStop, "");
        WriteAll(fd_, header.data(), header.size(), kStopWaitMs);
    }
    Close();
    if (pid_ > 0) {
        int code = 0;
        if (!Vs5Platform::WaitProcess(pid_, kStopWaitMs, code))
            Vs5Platform::KillProcess(pid_);
    }
    pid_ = -1;
    started_ = false;
}

}  // namespace Vs5Worker
