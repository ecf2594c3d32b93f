// The soak: a real vistrel5 with its real workers on loopback under a mix of
// good and hostile traffic from many connections, while workers are killed,
// the INI file is rewritten, and the server is restarted cleanly and crashed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

namespace VsClient {
class Connection;
}

namespace Soak {

constexpr uint32_t kNoAnswer = 0xFFFFFFFF;  // the status counted when no response came

struct SoakImage {
    std::string path;  // the file on disk, for GET and EXEC2 by path
    std::vector<uint8_t> bytes;
    // Hostile files that must be refused with a 2xx status; scribbled or
    // shortened copies may still decode, so for them success is allowed too.
    bool mustFail = false;
};

struct ImageSet {
    std::vector<SoakImage> photos, hostile;
};

// Makes the photos with ImageMagick and the hostile files from them.
bool MakeImages(const std::string& folder, ImageSet& set);

struct Tally {
    std::map<std::string, std::map<uint32_t, uint64_t>> statuses;  // category -> status -> count
    std::vector<float> latencyMs;                                  // of answered requests
    std::map<std::string, std::string> answers;  // "source\ncommand" -> the path GET answered
    uint64_t failures = 0;
    std::vector<std::string> samples;  // the first failures, for the report

    void Fail(const std::string& what);
    void Merge(const Tally& other);
};

// The clients, one thread and one connection each, until the deadline.
class Traffic {
public:
    Traffic(uint16_t port, const ImageSet& images, std::string missingFolder, int connections,
            std::chrono::steady_clock::time_point deadline);
    ~Traffic() { Finish(); }
    // Parks every client with its connection closed; false on time-out.
    bool Park(std::chrono::seconds timeout);
    void Resume();
    // Ends the clients and merges their tallies.
    Tally Finish();

    // For the clients: waits while parked; false once they are to end.
    bool Pass(VsClient::Connection& connection);
    // True the first time a GET key is asked by any client.
    bool FirstAsk(const std::string& key);

    const uint16_t port;
    const ImageSet& images;
    const std::string missingFolder;
    const std::chrono::steady_clock::time_point deadline;

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool parked_ = false, ended_ = false;
    int waiting_ = 0;
    std::set<std::string> asked_;
    std::vector<Tally> tallies_;
    std::vector<std::thread> threads_;
};

// vistrel5 -debug in a folder of its own with copies of the programs.
class Server {
public:
    Server(std::string folder, uint16_t port);
    // Rewrites the INI file in place; `variant` toggles keys that are safe to
    // change while the port, the allow-list and the cache stay.
    void WriteIni(int variant) const;
    // Starts it and waits until it answers on its port.
    bool Start(std::string& error);
    // SIGTERM; the wait status, or nothing when it had to be killed.
    std::optional<int> Stop();
    void Kill();
    // False once it has ended; `status` then holds its wait status.
    bool Alive(int& status);

    pid_t pid() const { return child_ ? child_->pid() : -1; }
    std::string File(const std::string& name) const { return folder_ + "/" + name; }
    // The request logs, or the system logs, joined in date order.
    std::string Logs(bool system) const;
    // The end of what the server printed since its last start.
    std::string Tail() const;

    const uint16_t port;

private:
    std::string folder_;
    std::unique_ptr<vstest::ChildProcess> child_;
    std::optional<int> ended_;
    int starts_ = 0;
};

uint16_t FreePort();
// A /proc/PID/status figure in KiB ("VmRSS", "VmHWM"); 0 when the process is gone.
uint64_t MemoryKb(pid_t pid, const std::string& field);
// Open descriptors, and how many are sockets; -1 when the process is gone.
int Descriptors(pid_t pid, int* sockets = nullptr);
// "fd -> target" of every open descriptor, for a report.
std::string DescribeDescriptors(pid_t pid);
std::vector<pid_t> WorkersOf(pid_t server);
std::string DescribeStatus(const std::optional<int>& status);

// The entries of Cache/index.dat as (path, size).
std::vector<std::pair<std::string, uint64_t>> ReadIndex(const std::string& indexFile);
// After a crash and a restart: every listed file exists at its listed size
// and a repeated GET answers the listed path. Problems, empty when sound.
std::vector<std::string> CheckCache(const Server& server,
                                    const std::map<std::string, std::string>& answers,
                                    size_t& entries);

}  // namespace Soak
