// The yardstick: the least a server on the same library can do with the same
// frames. It reads 36-byte headers (the load sends empty bodies), answers each
// with the 12-byte unknown-verb frame, and runs on the same number of threads.
#pragma once

#include <boost/asio.hpp>
#include <cstdint>
#include <thread>
#include <vector>

class EchoServer {
public:
    explicit EchoServer(int threads);
    ~EchoServer();
    uint16_t port() const { return port_; }

private:
    void Accept();

    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    std::vector<std::thread> threads_;
    uint16_t port_ = 0;
};
