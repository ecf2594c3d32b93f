#include "server/metrics_http.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <memory>

#include "config/metrics.h"

namespace Vs5Server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::ip::tcp;

namespace {

// One scrape: read the request, answer, close. The whole exchange has five
// seconds, so a client that stalls cannot hold the thread's attention.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, const std::function<bool()>& healthy)
        : stream_(std::move(socket)), healthy_(healthy) {}

    void Start() {
        stream_.expires_after(std::chrono::seconds(5));
        http::async_read(stream_, buffer_, request_,
                         [self = shared_from_this()](beast::error_code ec, size_t) {
                             if (!ec)
                                 self->Answer();
                         });
    }

private:
    void Answer() {
        response_.version(request_.version());
        response_.keep_alive(false);
        const std::string target(request_.target());
        if (request_.method() != http::verb::get) {
            Set(http::status::method_not_allowed, "only GET\n");
        } else if (target == "/metrics") {
            Set(http::status::ok, Metrics::Instance().Render());
            response_.set(http::field::content_type, "text/plain; version=0.0.4");
        } else if (target == "/healthz") {
            bool ok = healthy_ && healthy_();
            Set(ok ? http::status::ok : http::status::service_unavailable,
                ok ? "ok\n" : "an I/O thread has no live worker\n");
        } else {
            Set(http::status::not_found, "/metrics or /healthz\n");
        }
        http::async_write(stream_, response_,
                          [self = shared_from_this()](beast::error_code, size_t) {
                              beast::error_code ignored;
                              self->stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
                          });
    }

    void Set(http::status status, std::string body) {
        response_.result(status);
        response_.set(http::field::content_type, "text/plain");
        response_.body() = std::move(body);
        response_.prepare_payload();
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    http::request<http::string_body> request_;
    http::response<http::string_body> response_;
    const std::function<bool()>& healthy_;
};

}  // namespace

bool MetricsHttpServer::Start(uint16_t port, std::function<bool()> healthy, std::string& error) {
    healthy_ = std::move(healthy);
    try {
        tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), port);
        acceptor_.open(endpoint.protocol());
        acceptor_.set_option(tcp::acceptor::reuse_address(true));
        acceptor_.bind(endpoint);
        acceptor_.listen();
        port_ = acceptor_.local_endpoint().port();
    } catch (const std::exception& e) {
        error = e.what();
        beast::error_code ignored;
        acceptor_.close(ignored);
        return false;
    }
    Accept();
    thread_ = std::thread([this] { io_.run(); });
    return true;
}

void MetricsHttpServer::Accept() {
    acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted)
            return;
        if (!ec)
            std::make_shared<Session>(std::move(socket), healthy_)->Start();
        Accept();
    });
}

void MetricsHttpServer::Stop() {
    if (!thread_.joinable())
        return;
    io_.stop();
    thread_.join();
    beast::error_code ignored;
    acceptor_.close(ignored);
}

}  // namespace Vs5Server
