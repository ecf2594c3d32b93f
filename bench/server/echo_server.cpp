#include "echo_server.h"

#include <array>
#include <memory>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

const uint8_t kAnswer[12] = {0x56, 0x53, 0x34, 0, 0x64, 0, 0, 0, 0, 0, 0, 0};

class Session : public std::enable_shared_from_this<Session> {
public:
    explicit Session(tcp::socket socket) : socket_(std::move(socket)) {}
    void Read() {
        asio::async_read(socket_, asio::buffer(header_),
                         [self = shared_from_this()](const boost::system::error_code& ec, size_t) {
                             if (!ec)
                                 self->Write();
                         });
    }

private:
    void Write() {
        asio::async_write(socket_, asio::buffer(kAnswer),
                          [self = shared_from_this()](const boost::system::error_code& ec, size_t) {
                              if (!ec)
                                  self->Read();
                          });
    }

    tcp::socket socket_;
    std::array<uint8_t, 36> header_;
};

}  // namespace

EchoServer::EchoServer(int threads) : acceptor_(io_, tcp::endpoint(tcp::v4(), 0)) {
    port_ = acceptor_.local_endpoint().port();
    Accept();
    for (int i = 0; i < threads; ++i)
        threads_.emplace_back([this]() { io_.run(); });
}

EchoServer::~EchoServer() {
    io_.stop();
    for (std::thread& t : threads_)
        t.join();
}

void EchoServer::Accept() {
    acceptor_.async_accept(asio::make_strand(io_),
                           [this](const boost::system::error_code& ec, tcp::socket socket) {
                               if (!ec) {
                                   socket.set_option(tcp::no_delay(true));
                                   std::make_shared<Session>(std::move(socket))->Read();
                               }
                               Accept();
                           });
}
