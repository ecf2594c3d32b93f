// The operators' window: HTTP on 127.0.0.1 at MetricsPort, with
// GET /metrics (the Prometheus text of Metrics) and GET /healthz (200 when
// every I/O thread has a live worker, 503 otherwise). It runs on a thread of
// its own, so a scrape never waits for image work.
#pragma once

#include <boost/asio.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace Vs5Server {

class MetricsHttpServer {
public:
    MetricsHttpServer() = default;
    ~MetricsHttpServer() { Stop(); }
    MetricsHttpServer(const MetricsHttpServer&) = delete;
    MetricsHttpServer& operator=(const MetricsHttpServer&) = delete;

    // Listens on 127.0.0.1:`port` (0: a free port). False with `error` set
    // when it cannot.
    bool Start(uint16_t port, std::function<bool()> healthy, std::string& error);
    void Stop();
    uint16_t port() const { return port_; }

private:
    void Accept();

    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_{io_};
    std::function<bool()> healthy_;
    std::thread thread_;
    uint16_t port_ = 0;
};

}  // namespace Vs5Server
