#include "serve_load.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "client/connection.h"
#include "platform/process.h"

namespace ServeBench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

uint16_t FreePort() {
    static uint16_t next = 29000 + getpid() % 1000;
    return next++;
}

}  // namespace

ServerProcess::ServerProcess(const std::string& binDir, const std::string& folder,
                             const std::string& ini) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    // The module folder is the executable's own folder, so the programs are
    // copied there and the working folders appear beside them.
    for (const char* program : {"vistrel5", "vistrelremt"})
        fs::copy_file(fs::path(binDir) / program, fs::path(folder) / program);
    uint16_t port = FreePort();
    std::ofstream(fs::path(folder) / "vistrel5.ini")
        << "[Server]\nPort=" << port << "\nRequestLogging=false\n"
        << ini;
    int error = 0;
    pid_ = Vs5Platform::SpawnProcess({folder + "/vistrel5", "-debug"}, folder, error);
    for (int i = 0; i < 200 && pid_ > 0; ++i) {
        VsClient::Connection c;
        if (c.Connect("127.0.0.1", port, 1000)) {
            port_ = port;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int code = 0;
        if (!Vs5Platform::WaitProcess(pid_, 20000, code))
            Vs5Platform::KillProcess(pid_);
    }
}

std::vector<pid_t> ServerProcess::Workers() const {
    std::vector<pid_t> out;
    for (const auto& e : fs::directory_iterator("/proc")) {
        std::ifstream stat(e.path() / "stat");
        std::string pid, comm, state, ppid;
        if (stat >> pid >> comm >> state >> ppid && comm == "(vistrelremt)" &&
            ppid == std::to_string(pid_))
            out.push_back(std::stoi(pid));
    }
    return out;
}

LoadFigures RunLoad(uint16_t port, int connections, int requests,
                    const std::function<std::vector<uint8_t>(int)>& frame,
                    uint32_t expectedStatus) {
    std::vector<std::vector<double>> latencies(connections);
    std::vector<long> failures(connections, 0);
    std::vector<std::thread> clients;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < connections; ++i)
        clients.emplace_back([&, i] {
            VsClient::Connection c;
            if (!c.Connect("127.0.0.1", port, 60000)) {
                failures[i] = requests;
                return;
            }
            for (int k = 0; k < requests; ++k) {
                std::vector<uint8_t> f = frame(k);
                VsClient::Response r;
                const Clock::time_point t0 = Clock::now();
                if (!c.Request(f, r) || r.status != expectedStatus) {
                    ++failures[i];
                    continue;
                }
                latencies[i].push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            }
        });
    for (std::thread& t : clients)
        t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    LoadFigures f;
    for (int i = 0; i < connections; ++i) {
        all.insert(all.end(), latencies[i].begin(), latencies[i].end());
        f.failures += failures[i];
    }
    if (all.empty())
        return f;
    std::sort(all.begin(), all.end());
    f.requestsPerSecond = all.size() / seconds;
    f.p50Ms = all[all.size() / 2];
    f.p99Ms = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    return f;
}

ToolFigures TimeTool(const std::vector<std::string>& argv, int runs) {
    std::vector<double> times;
    ToolFigures f;
    // The peak comes from /usr/bin/time: a child forked from this process
    // starts with this process's own (large) resident size as its peak, and
    // keeps it through exec, so wait4 would report that instead.
    const std::string peakFile = "/tmp/vs5-serve-bench-peak." + std::to_string(getpid());
    std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", peakFile};
    timed.insert(timed.end(), argv.begin(), argv.end());
    for (int i = 0; i < runs; ++i) {
        int error = 0;
        const Clock::time_point t0 = Clock::now();
        pid_t pid = Vs5Platform::SpawnProcess(timed, "", error);
        if (pid < 0)
            return f;
        int status = 0;
        waitpid(pid, &status, 0);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        std::ifstream peak(peakFile);
        long kib = 0;
        if (peak >> kib)
            f.maxRssKiB = std::max(f.maxRssKiB, kib);
    }
    unlink(peakFile.c_str());
    std::sort(times.begin(), times.end());
    f.medianMs = times[times.size() / 2];
    return f;
}

long ProcessMemoryKiB(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(std::string(field) + ":", 0) == 0)
            return std::stol(line.substr(line.find_first_of("0123456789")));
    return 0;
}

}  // namespace ServeBench
