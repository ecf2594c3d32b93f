// The real vistrel5 process of the soak: its module folder (copies of the
// server and worker programs, the INI file), starting, stopping and killing it,
// and what /proc says about it and its worker processes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace Soak {

// A free TCP port on the loopback interface, as the kernel hands one out.
uint16_t FreePort();

class ServerFolder {
public:
    // Copies vistrel5 and vistrelremt from `binFolder` into `path`.
    ServerFolder(std::string path, const std::string& binFolder, uint16_t port, int ioThreads);

    // Rewrites the INI file in place; `variant` toggles harmless keys
    // (KeepLogDay, ImageJpegQuality) while the port and the allow-list stay.
    void WriteIni(int variant) const;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    uint16_t port() const { return port_; }
    int ioThreads() const { return ioThreads_; }
    // Every request-log file (LogFiles/YYYYMMDD.log) and system-log file, joined.
    std::string RequestLogs() const;
    std::string SystemLogs() const;

private:
    std::string path_;
    uint16_t port_;
    int ioThreads_;
};

// Memory of one process in KiB: resident now and its peak so far.
struct Memory {
    uint64_t rssKb = 0;
    uint64_t peakKb = 0;
};
std::optional<Memory> ReadMemory(pid_t pid);
// Open descriptors (entries of /proc/PID/fd), -1 when the process is gone.
int CountDescriptors(pid_t pid);
// "fd -> target" for every open descriptor, for a report.
std::vector<std::string> DescribeDescriptors(pid_t pid);
// The vistrelremt processes whose parent is `parent`.
std::vector<pid_t> WorkersOf(pid_t parent);

class ServerProcess {
public:
    explicit ServerProcess(const ServerFolder& folder) : folder_(folder) {}

    // Starts vistrel5 -debug and waits until it answers on its port.
    bool Start(std::string& error);
    // SIGTERM, then waits for the exit; the wait status, or nullopt when it
    // did not end within the time-out (it is then killed).
    std::optional<int> StopCleanly(int timeoutSeconds);
    // SIGKILL and reap.
    void Kill();
    // False once the process has ended; `status` then holds its wait status.
    bool Alive(int& status);

    pid_t pid() const { return child_ ? child_->pid() : -1; }
    int starts() const { return starts_; }
    // The last lines the server printed.
    std::string OutputTail(size_t bytes = 2000) const;

private:
    bool WaitReady(std::string& error);

    const ServerFolder& folder_;
    std::unique_ptr<vstest::ChildProcess> child_;
    std::optional<int> ended_;  // the wait status once the process is reaped
    int starts_ = 0;
};

// Formats a wait status: "exit N" or "signal N".
std::string DescribeWaitStatus(int status);

}  // namespace Soak
