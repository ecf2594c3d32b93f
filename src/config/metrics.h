// The figures operators scrape: requests by verb and result code with a
// latency histogram per verb, cache hits and misses, worker starts and
// replacements, captures and their failures. Counters only ever grow; the
// gauges (open connections, cache entries and bytes, workers alive) are read
// from their owners when the text is made. One process-wide instance.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

class Metrics {
public:
    static Metrics& Instance();

    // One answered request: its verb, the status it answered, its time.
    void CountRequest(const std::string& verb, uint32_t status, uint32_t elapsedMs);

    std::atomic<uint64_t> cacheHits{0};
    std::atomic<uint64_t> cacheMisses{0};
    std::atomic<uint64_t> cacheEvictions{0};      // entries evicted to keep the size limit
    std::atomic<uint64_t> workerStarts{0};        // every start, replacements included
    std::atomic<uint64_t> workerReplacements{0};  // starts after a failed step
    std::atomic<uint64_t> captures{0};
    std::atomic<uint64_t> captureFailures{0};
    std::atomic<int> workersAlive{0};  // workers connected to their I/O thread

    // A gauge read when the text is made; the name is the metric's.
    void SetGauge(const std::string& name, const std::string& help, std::function<double()> read);
    void RemoveGauge(const std::string& name);

    // Every figure in the Prometheus text format.
    std::string Render() const;

    // Upper bounds of the latency buckets, in milliseconds (+Inf follows).
    static constexpr std::array<uint32_t, 11> kBucketsMs = {5,   10,   25,   50,   100,  250,
                                                            500, 1000, 2500, 5000, 10000};

private:
    struct VerbFigures {
        std::map<uint32_t, uint64_t> byStatus;
        std::array<uint64_t, kBucketsMs.size() + 1> buckets{};
        uint64_t count = 0;
        double sumMs = 0;
    };
    struct Gauge {
        std::string help;
        std::function<double()> read;
    };

    mutable std::mutex lock_;  // guards verbs_ and gauges_
    std::map<std::string, VerbFigures> verbs_;
    std::map<std::string, Gauge> gauges_;
};
