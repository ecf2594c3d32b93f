// The soak's pictures and clients, driven by soak_main.cpp.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace VsClient {
class Connection;
}

namespace Soak {

constexpr uint32_t kNoAnswer = 0xFFFFFFFF;  // the status counted when no response came

struct SoakImage {
    std::string path;
    std::vector<uint8_t> bytes;
    bool mustFail = false;  // hostile and beyond repair: refused with 2xx, never decoded
};

struct ImageSet {
    std::vector<SoakImage> photos, hostile;
};

// The photos, made with ImageMagick, and hostile files derived from them.
bool MakeImages(const std::string& folder, ImageSet& set);

struct Tally {
    std::map<std::string, std::map<uint32_t, uint64_t>> statuses;  // category -> status -> count
    std::vector<float> latencyMs;
    std::map<std::string, std::string> answers;  // "source\ncommand" -> the path GET answered
    uint64_t failures = 0;
    std::vector<std::string> samples;  // the first failures

    void Fail(const std::string& what);
    void Merge(const Tally& other);
};

// The clients, one thread and one connection each, until the deadline.
class Traffic {
public:
    Traffic(uint16_t port, const ImageSet& images, int connections,
            std::chrono::steady_clock::time_point deadline);
    ~Traffic() { Finish(); }
    // Parks every client with its connection closed; false on time-out.
    bool Park(std::chrono::seconds timeout);
    void Resume();
    Tally Finish();  // ends the clients and merges their tallies

    // For the clients: waits while parked; false once they are to end.
    bool Pass(VsClient::Connection& connection);
    bool FirstAsk(const std::string& key);  // true the first time a GET key is asked

    const uint16_t port;
    const ImageSet& images;
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

}  // namespace Soak
