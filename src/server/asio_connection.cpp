#include "server/asio_connection.h"

#include <cstdint>
#include <exception>

#include "config/configuration.h"
#include "server/command_registry.h"
#include "server/frame.h"
#include "server/io_thread.h"

namespace Vs5Server {

namespace asio = boost::asio;
using boost::system::error_code;

CAsioVs5Connection::CAsioVs5Connection(asio::io_context& io, const ConnectionEnvironment& env)
    : io_(io),
      strand_(asio::make_strand(io)),
      socket_(strand_),
      timer_(strand_),
      deadline_(std::chrono::steady_clock::time_point::max()),
      env_(env) {}

CAsioVs5Connection::~CAsioVs5Connection() {
    ReleaseLimits();
}

void CAsioVs5Connection::ReleaseLimits() {
    if (env_.limits == nullptr)
        return;
    env_.limits->buffers.Give(charged_);
    charged_ = 0;
    if (counted_)
        env_.limits->openConnections.fetch_sub(1);
    counted_ = false;
}

void CAsioVs5Connection::Open(std::unique_ptr<RequestContext> context) {
    context_ = std::move(context);
    asio::dispatch(strand_, [self = shared_from_this()]() { self->Admit(); });
}

void CAsioVs5Connection::Admit() {
    error_code ec;
    asio::ip::tcp::endpoint peer = socket_.remote_endpoint(ec);
    if (ec) {
        // The client left between the accept and now.
        Close();
        return;
    }
    address_ = peer.address().to_string(ec);
    if (!env_.config->ipFilter().IsAllowed(address_)) {
        env_.limits->rejections.Write("# The connection from " + address_ + " was rejected.\r\n");
        Close();
        return;
    }
    // The timer wakes at most once per idle period; the deadline moves
    // without touching the timer, when a frame starts and when one is answered.
    deadline_ = std::chrono::steady_clock::now() + env_.idleTimeout;
    timer_.expires_at(deadline_);
    timer_.async_wait([self = shared_from_this()](const error_code&) { self->CheckDeadline(); });
    StartRead();
}

void CAsioVs5Connection::StartRead() {
    socket_.async_read_some(
        asio::buffer(receive_),
        [self = shared_from_this()](const error_code& ec, size_t n) { self->HandleRead(ec, n); });
}

void CAsioVs5Connection::HandleRead(const error_code& error, size_t bytes) {
    if (error) {
        // End of stream or a reset: the client is gone. Anything else leaves
        // the connection to its idle deadline.
        if (error == asio::error::eof || error == asio::error::connection_reset)
            Close();
        return;
    }
    if (!TakeBuffer(bytes))
        return;
    // A frame has the idle period from its first byte: a client that sends a
    // byte now and then does not keep the connection.
    if (accumulator_.empty())
        deadline_ = std::chrono::steady_clock::now() + env_.idleTimeout;
    accumulator_.insert(accumulator_.end(), receive_.begin(), receive_.begin() + bytes);
    ProcessReceived();
}

// Every byte held for a request is taken from the server's budget first; the
// connection whose bytes do not fit is closed, as an oversized request is.
bool CAsioVs5Connection::TakeBuffer(size_t bytes) {
    uint64_t limit = uint64_t(env_.config->settings()->maxBufferedRequests) * 1048576;
    if (env_.limits->buffers.Take(bytes, limit)) {
        charged_ += bytes;
        return true;
    }
    ParseResult parsed = ParseRequestFrame(accumulator_.data(), accumulator_.size(), UINT64_MAX);
    uint64_t length = parsed.frameLength != 0 ? parsed.frameLength : accumulator_.size() + bytes;
    env_.config->requestLog().WriteLine("# The request from %s was too large (%llu bytes).\r\n",
                                        address_.c_str(), static_cast<unsigned long long>(length));
    Close();
    return false;
}

uint64_t CAsioVs5Connection::MaxFrameLength() const {
    return uint64_t(env_.config->settings()->maxRequestSize) * 1048576;
}

// Answers the first frame of the accumulator when it is complete; otherwise
// reads on. The accumulator grows only with bytes that have arrived, never
// with what a header announces.
void CAsioVs5Connection::ProcessReceived() {
    if (closed_)
        return;
    ParseResult parsed =
        ParseRequestFrame(accumulator_.data(), accumulator_.size(), MaxFrameLength());
    switch (parsed.state) {
        case ParseState::kNeedMore:
            StartRead();
            return;
        case ParseState::kTooLarge:
            env_.config->requestLog().WriteLine(
                "# The request from %s was too large (%llu bytes).\r\n", address_.c_str(),
                static_cast<unsigned long long>(parsed.frameLength));
            Close();
            return;
        case ParseState::kComplete:
            Respond(static_cast<size_t>(parsed.frameLength));
            return;
    }
}

void CAsioVs5Connection::Respond(size_t frameLength) {
    if (const CTlsContainer* tls = CurrentIoThread()) {
        context_->captureSync = tls->captureSync;
        context_->worker = tls->worker;
    } else {
        context_->captureSync = nullptr;
        context_->worker = nullptr;
    }
    response_.Reset();
    try {
        env_.registry->Dispatch(*context_, accumulator_.data(), frameLength, response_);
    } catch (const std::exception& e) {
        // Commands report failures as statuses; one that throws leaves no
        // answer to send, so the client loses this connection and nothing else.
        env_.config->systemLog().WriteLine("The request from %s failed: %s\r\n", address_.c_str(),
                                           e.what());
        Close();
        return;
    }
    // Later frames already received move to the front, so the next frame
    // starts on an aligned address like the first one.
    accumulator_.erase(accumulator_.begin(), accumulator_.begin() + frameLength);
    env_.limits->buffers.Give(frameLength);
    charged_ -= frameLength;
    if (accumulator_.capacity() > kKeptBufferSize)
        accumulator_.shrink_to_fit();
    // The next frame (or the quiet time before it) has its own idle period.
    deadline_ = std::chrono::steady_clock::now() + env_.idleTimeout;
    asio::async_write(
        socket_, asio::buffer(response_.data(), response_.length()),
        [self = shared_from_this()](const error_code& ec, size_t) { self->HandleWrite(ec); });
}

void CAsioVs5Connection::HandleWrite(const error_code& error) {
    if (error) {
        // The client cannot be answered any more; do not keep its socket
        // until the idle deadline.
        if (error != asio::error::operation_aborted)
            Close();
        return;
    }
    if (response_.length() > kKeptBufferSize)
        response_.Reset();
    ProcessReceived();
}

void CAsioVs5Connection::CheckDeadline() {
    if (closed_)
        return;
    if (std::chrono::steady_clock::now() >= deadline_) {
        Close();
        return;
    }
    timer_.expires_at(deadline_);
    timer_.async_wait([self = shared_from_this()](const error_code&) { self->CheckDeadline(); });
}

void CAsioVs5Connection::Close() {
    if (closed_)
        return;
    closed_ = true;
    ReleaseLimits();
    std::vector<uint8_t>().swap(accumulator_);
    error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.cancel(ignored);
    socket_.close(ignored);
    timer_.cancel();
}

}  // namespace Vs5Server
