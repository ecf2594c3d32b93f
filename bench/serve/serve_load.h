// The pieces of serve_bench: a server process of its own, timed loads of
// request frames, timed tool runs, and the memory of processes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ServeBench {

// vistrel5 and vistrelremt linked into a folder of their own with an INI
// file, started in console mode, stopped with SIGTERM.
class ServerProcess {
public:
    ServerProcess(const std::string& binDir, const std::string& folder, const std::string& ini);
    ~ServerProcess();
    bool ok() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    pid_t pid() const { return pid_; }
    // The worker processes of this server.
    std::vector<pid_t> Workers() const;

private:
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

struct LoadFigures {
    double requestsPerSecond = 0;
    double p50Ms = 0, p99Ms = 0;
    long failures = 0;
};

// `connections` clients each send `requests` frames one after the other;
// `frame(i)` gives the i-th frame of a client. Answers must have status 0
// (or `expectedStatus`).
LoadFigures RunLoad(uint16_t port, int connections, int requests,
                    const std::function<std::vector<uint8_t>(int)>& frame,
                    uint32_t expectedStatus = 0);

// Median wall time in ms of running the command line `argv` `runs` times,
// and the largest resident size (KiB) any run reached.
struct ToolFigures {
    double medianMs = 0;
    long maxRssKiB = 0;
};
ToolFigures TimeTool(const std::vector<std::string>& argv, int runs);

// VmRSS or VmHWM of a process, in KiB.
long ProcessMemoryKiB(pid_t pid, const char* field);

}  // namespace ServeBench
