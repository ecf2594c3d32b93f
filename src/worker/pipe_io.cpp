#include "worker/pipe_io.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace Vs5Worker {

namespace {

IoResult WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int n = poll(&p, 1, timeoutMs);
        if (n > 0)
            return IoResult::kOk;  // ready, or an error the next call reports
        if (n == 0)
            return IoResult::kTimeout;
        if (errno != EINTR)
            return IoResult::kError;
    }
}

}  // namespace

IoResult WriteAll(int fd, const void* data, size_t size, int timeoutMs) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        IoResult ready = WaitFor(fd, POLLOUT, timeoutMs);
        if (ready != IoResult::kOk)
            return ready;
        ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return errno == EPIPE || errno == ECONNRESET ? IoResult::kClosed : IoResult::kError;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return IoResult::kOk;
}

IoResult ReadExact(int fd, void* data, size_t size, int timeoutMs) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        IoResult ready = WaitFor(fd, POLLIN, timeoutMs);
        if (ready != IoResult::kOk)
            return ready;
        ssize_t n = recv(fd, p, size, 0);
        if (n == 0)
            return IoResult::kClosed;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return errno == ECONNRESET ? IoResult::kClosed : IoResult::kError;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return IoResult::kOk;
}

}  // namespace Vs5Worker
