// A blocking client connection: connect, send whole frames, read whole
// responses. Every wait is bounded by the time-out given at connect.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/request_builder.h"

namespace VsClient {

class Connection {
public:
    // The largest response payload taken by default; a header announcing
    // more fails the read before any of it is taken.
    static constexpr uint64_t kDefaultMaxResponseBytes = uint64_t(256) << 20;

    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // `host` is a name or a dotted address. False with `error` set on failure.
    bool Connect(const std::string& host, uint16_t port, int timeoutMs = 30000);
    bool Send(const std::vector<uint8_t>& bytes);
    // Reads one response frame. False on end of stream, a time-out, or bytes
    // that are not a response.
    bool Receive(Response& response);
    // Sends one frame and reads its response.
    bool Request(const std::vector<uint8_t>& frame, Response& response);
    // Waits until the server closes the connection; true when it did so
    // without sending a byte first.
    bool WaitForClose(int timeoutMs);
    void Close();

    void SetMaxResponseBytes(uint64_t bytes) { maxResponseBytes_ = bytes; }

    bool connected() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

private:
    bool ReadExact(uint8_t* out, size_t size);

    int fd_ = -1;
    int timeoutMs_ = 30000;
    uint64_t maxResponseBytes_ = kDefaultMaxResponseBytes;
    std::string error_;
};

}  // namespace VsClient
