// A manual-reset event on an eventfd: once set it stays set for every waiter
// until reset. The descriptor can be polled together with other descriptors,
// which lets a thread wait for "stop or something else" in one call.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace Vs5Platform {

class ManualResetEvent {
public:
    ManualResetEvent();
    ~ManualResetEvent();
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    bool valid() const { return fd_ >= 0; }
    void Set();
    void Reset();
    bool IsSet() const;

    // Waits until the event is set or the time-out passes; a negative time-out
    // waits for ever. True when the event is set.
    bool Wait(int timeoutMs) const;

    int fd() const { return fd_; }

private:
    int fd_;
};

// Waits until one of the descriptors is readable (or reports an error). Returns
// its index, kWaitTimeout when the time-out passed, or kWaitFailed.
constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;
int WaitAny(std::initializer_list<int> fds, int timeoutMs);

// Milliseconds of a steady clock, wrapping at 32 bits like GetTickCount.
uint32_t TickCount();

}  // namespace Vs5Platform
