#include "client/connection.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace VsClient {

namespace {

// Waits for `events` on `fd`; false on a time-out or an error.
bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = poll(&p, 1, timeoutMs);
        if (r > 0)
            return true;
        if (r == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

}  // namespace

Connection::~Connection() {
    Close();
}

bool Connection::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    Close();
    timeoutMs_ = timeoutMs;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        error_ = gai_strerror(rc);
        return false;
    }
    for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        // Bounds the handshake and every later send: a peer that does not
        // answer or does not read fails the call after the time-out.
        if (timeoutMs > 0) {
            timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
        }
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
            fd_ = fd;
        } else {
            error_ = errno == EINPROGRESS ? "timed out" : strerror(errno);
            close(fd);
        }
    }
    freeaddrinfo(found);
    return fd_ >= 0;
}

bool Connection::Send(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (fd_ < 0)
            return false;
        ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ =
                n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? "timed out" : strerror(errno);
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool Connection::ReadExact(uint8_t* out, size_t size) {
    size_t got = 0;
    while (got < size) {
        if (fd_ < 0 || !WaitFor(fd_, POLLIN, timeoutMs_)) {
            error_ = "timed out";
            return false;
        }
        ssize_t n = recv(fd_, out + got, size - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = n == 0 ? "connection closed by the server" : strerror(errno);
            return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

bool Connection::Receive(Response& response) {
    uint8_t header[kResponseHeaderSize];
    if (!ReadExact(header, sizeof(header)))
        return false;
    uint32_t length = 0;
    if (!ParseResponseHeader(header, response.status, length)) {
        error_ = "not a response frame";
        return false;
    }
    if (length > maxResponseBytes_) {
        error_ = "the answer announces " + std::to_string(length) + " bytes, more than the " +
                 std::to_string(maxResponseBytes_ >> 20) + " MiB allowed (--max-response)";
        Close();
        return false;
    }
    // The payload grows with the bytes that arrive, a step at a time, so a
    // header that announces gigabytes costs nothing until they come.
    constexpr size_t kStep = size_t(1) << 20;
    response.payload.clear();
    while (response.payload.size() < length) {
        size_t have = response.payload.size();
        size_t take = std::min<size_t>(length - have, kStep);
        response.payload.resize(have + take);
        if (!ReadExact(response.payload.data() + have, take)) {
            response.payload.resize(have);
            return false;
        }
    }
    return true;
}

bool Connection::Request(const std::vector<uint8_t>& frame, Response& response) {
    return Send(frame) && Receive(response);
}

bool Connection::WaitForClose(int timeoutMs) {
    if (fd_ < 0 || !WaitFor(fd_, POLLIN, timeoutMs))
        return false;
    uint8_t byte;
    ssize_t n = recv(fd_, &byte, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

void Connection::Close() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

}  // namespace VsClient
