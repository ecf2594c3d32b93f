// One accepted client. Every completion handler runs through the connection's
// strand, so no two of them run at the same time; pending operations hold the
// object alive through shared pointers. The cycle is read until a frame is
// complete, dispatch on this I/O thread, write, then the next frame (already
// received or still to come).
#pragma once

#include <array>
#include <boost/asio.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/connection_limits.h"
#include "server/request_context.h"
#include "server/response_buffer.h"

class Configuration;

namespace Vs5Server {

class CommandRegistry;

// What every connection of one server shares; owned by the server.
struct ConnectionEnvironment {
    Configuration* config = nullptr;
    CommandRegistry* registry = nullptr;
    ServerLimits* limits = nullptr;
    // A frame must be complete within this time from its first byte, and a
    // connection between frames may be quiet this long.
    std::chrono::steady_clock::duration idleTimeout = std::chrono::seconds(900);
};

class CAsioVs5Connection : public std::enable_shared_from_this<CAsioVs5Connection> {
public:
    static constexpr size_t kReceiveSize = 4096;

    // Above this a request or response buffer is given back once its frame
    // is answered, so that an idle connection does not keep it.
    static constexpr size_t kKeptBufferSize = size_t(1) << 20;

    CAsioVs5Connection(boost::asio::io_context& io, const ConnectionEnvironment& env);
    ~CAsioVs5Connection();
    CAsioVs5Connection(const CAsioVs5Connection&) = delete;
    CAsioVs5Connection& operator=(const CAsioVs5Connection&) = delete;

    boost::asio::ip::tcp::socket& socket() { return socket_; }
    // Takes the request context built at accept, then admits the client and
    // starts reading, or refuses and closes it.
    void Open(std::unique_ptr<RequestContext> context);
    // The connection counts against MaxConnections until it closes.
    void CountAsOpen() { counted_ = true; }

private:
    void Admit();
    void StartRead();
    void HandleRead(const boost::system::error_code& error, size_t bytes);
    void ProcessReceived();
    void Respond(size_t frameLength);
    void HandleWrite(const boost::system::error_code& error);
    bool TakeBuffer(size_t bytes);
    void ReleaseLimits();
    void CheckDeadline();
    void Close();
    uint64_t MaxFrameLength() const;

    boost::asio::io_context& io_;
    boost::asio::strand<boost::asio::io_context::executor_type> strand_;
    boost::asio::ip::tcp::socket socket_;
    std::array<uint8_t, kReceiveSize> receive_;
    std::unique_ptr<RequestContext> context_;
    // The bytes received and not yet answered: the request being received,
    // and after it whatever the client has already sent of the next ones.
    std::vector<uint8_t> accumulator_;
    boost::asio::steady_timer timer_;
    std::chrono::steady_clock::time_point deadline_;
    std::string address_;
    ResponseBuffer response_;
    const ConnectionEnvironment& env_;
    uint64_t charged_ = 0;  // bytes of accumulator_ taken from the server's budget
    bool counted_ = false;
    bool closed_ = false;
};

}  // namespace Vs5Server
