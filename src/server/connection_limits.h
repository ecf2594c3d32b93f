// What the connections of one server share to keep the server within bounds:
// the bytes held for requests not yet answered, the number of open
// connections, and the rejection lines of the request log.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class LogFile;

namespace Vs5Server {

// Bytes taken by all connections together, against a limit read at each
// take (the setting may change while the server runs).
class BufferBudget {
public:
    // Takes `bytes` unless that would pass `limit`; false (nothing taken) then.
    bool Take(uint64_t bytes, uint64_t limit);
    void Give(uint64_t bytes);
    uint64_t used() const { return used_.load(); }

private:
    std::atomic<uint64_t> used_{0};
};

// A peer that keeps being refused must not fill the disk: at most
// kLinesPerSecond rejection lines are written a second, in total; the rest
// are counted and summed up by Summarise, which the maintenance thread calls
// once a minute.
class RejectionLog {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr int kLinesPerSecond = 10;

    explicit RejectionLog(Clock clock = std::chrono::steady_clock::now)
        : clock_(std::move(clock)) {}
    void SetLog(LogFile* log) { log_ = log; }
    void SetClock(Clock clock);

    // Writes the line (with its "\r\n") or counts it.
    void Write(const std::string& line);
    // Writes how many lines were held back since the last summary, if any.
    void Summarise();

private:
    std::mutex lock_;  // guards every field below
    LogFile* log_ = nullptr;
    Clock clock_;
    std::chrono::steady_clock::time_point windowStart_{};
    int linesInWindow_ = 0;
    unsigned held_ = 0;
};

struct ServerLimits {
    BufferBudget buffers;
    RejectionLog rejections;
    std::atomic<int> openConnections{0};
};

}  // namespace Vs5Server
