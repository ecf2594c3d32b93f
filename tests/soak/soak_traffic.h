// The soak's clients: each keeps one connection to the server and sends a
// random mix of GET (repeated and new results, missing sources, hostile
// files), EXEC from image bytes and EXEC2 sessions, and tallies what came back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "soak/soak_images.h"

namespace VsClient {
class Connection;
}

namespace Soak {

// Statuses recorded for requests that got no response frame.
constexpr uint32_t kNoAnswer = 0xFFFFFFFF;
constexpr uint32_t kNoConnection = 0xFFFFFFFE;

struct Tally {
    // category ("GET new", "EXEC2 load", ...) -> status -> count
    std::map<std::string, std::map<uint32_t, uint64_t>> statuses;
    std::map<std::string, std::vector<float>> latencyMs;
    // "source\ncommand" -> the path GET first answered for it
    std::map<std::string, std::string> answers;
    uint64_t changedAnswers = 0;  // a later GET answered another path
    uint64_t missingResults = 0;  // a GET answered a path that does not exist
    uint64_t failures = 0;
    std::vector<std::string> failureSamples;

    void Fail(const std::string& what);
    void Merge(const Tally& other);
};

// Lets the controller park every client with its connection closed (for a
// restart of the server), and tells them when to end.
class Gate {
public:
    // Called by a client before each action; closes `connection` and waits
    // while the gate is closed. False once the clients are to end.
    bool Pass(VsClient::Connection& connection);
    // Closes the gate and waits until `clients` are parked; false on time-out.
    bool CloseAndWait(int clients, std::chrono::seconds timeout);
    void Open();
    void End();

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool closed_ = false;
    bool ended_ = false;
    int parked_ = 0;
};

struct TrafficSetup {
    uint16_t port = 0;
    const ImageSet* images = nullptr;
    std::string missingFolder;  // GET sources that do not exist are named here
    int connections = 64;
    int timeoutMs = 180000;
    std::chrono::steady_clock::time_point deadline;
};

class Traffic {
public:
    explicit Traffic(TrafficSetup setup);
    ~Traffic();
    void Start();
    Gate& gate() { return gate_; }
    // Ends the clients (each closes its connection) and merges their tallies.
    Tally Finish();

private:
    struct Shared {
        std::mutex lock;
        std::set<std::string> askedKeys;  // GET keys asked before: a repeat should hit
    };
    TrafficSetup setup_;
    Gate gate_;
    Shared shared_;
    std::vector<Tally> tallies_;
    std::vector<std::thread> threads_;
};

}  // namespace Soak
