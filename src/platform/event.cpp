#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace Vs5Platform {

ManualResetEvent::ManualResetEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ManualResetEvent::~ManualResetEvent() {
    if (fd_ >= 0)
        close(fd_);
}

void ManualResetEvent::Set() {
    // The counter only grows; it is never read down except by Reset, so the
    // descriptor stays readable for every waiter.
    uint64_t one = 1;
    ssize_t n = write(fd_, &one, sizeof(one));
    (void)n;
}

void ManualResetEvent::Reset() {
    uint64_t value = 0;
    ssize_t n = read(fd_, &value, sizeof(value));
    (void)n;
}

bool ManualResetEvent::IsSet() const {
    return Wait(0);
}

bool ManualResetEvent::Wait(int timeoutMs) const {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        int r = poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0 && (p.revents & POLLIN);
    }
}

int WaitAny(std::initializer_list<int> fds, int timeoutMs) {
    pollfd p[8];
    nfds_t n = 0;
    for (int fd : fds) {
        if (n == 8)
            break;
        p[n++] = {fd, POLLIN, 0};
    }
    for (;;) {
        int r = poll(p, n, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return kWaitFailed;
        if (r == 0)
            return kWaitTimeout;
        for (nfds_t i = 0; i < n; ++i)
            if (p[i].revents & (POLLIN | POLLERR | POLLHUP))
                return static_cast<int>(i);
        return kWaitFailed;
    }
}

uint32_t TickCount() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

}  // namespace Vs5Platform
