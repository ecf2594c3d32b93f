#include "server/connection_limits.h"

#include "config/log_file.h"

namespace Vs5Server {

bool BufferBudget::Take(uint64_t bytes, uint64_t limit) {
    uint64_t used = used_.load();
    do {
        if (used + bytes > limit)
            return false;
    } while (!used_.compare_exchange_weak(used, used + bytes));
    return true;
}

void BufferBudget::Give(uint64_t bytes) {
    used_.fetch_sub(bytes);
}

void RejectionLog::SetClock(Clock clock) {
    std::lock_guard<std::mutex> guard(lock_);
    clock_ = std::move(clock);
}

void RejectionLog::Write(const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    auto now = clock_();
    if (now - windowStart_ >= std::chrono::seconds(1)) {
        windowStart_ = now;
        linesInWindow_ = 0;
    }
    if (linesInWindow_ >= kLinesPerSecond || log_ == nullptr) {
        ++held_;
        return;
    }
    ++linesInWindow_;
    log_->WriteText(line);
}

void RejectionLog::Summarise() {
    std::lock_guard<std::mutex> guard(lock_);
    if (held_ == 0 || log_ == nullptr)
        return;
    log_->WriteLine("# %u more connections were rejected.\r\n", held_);
    held_ = 0;
}

}  // namespace Vs5Server
