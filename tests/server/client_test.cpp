#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "client/connection.h"

namespace {

// A listening socket on a free loopback port that answers the first client
// with the given bytes and then closes.
class OneShotServer {
public:
    explicit OneShotServer(std::vector<uint8_t> answer) {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        listen(listener_, 1);
        socklen_t size = sizeof(addr);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &size);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, answer = std::move(answer)]() {
            int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0)
                return;
            ssize_t sent = send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            (void)sent;
            close(fd);
        });
    }
    ~OneShotServer() {
        thread_.join();
        close(listener_);
    }
    uint16_t port() const { return port_; }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace

TEST(ClientConnection, AnnouncedPayloadIsNotAllocatedBeforeItArrives) {
    // A header that announces 256 MiB, then ten bytes, then the end.
    std::vector<uint8_t> answer = {'V', 'S', '4', 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
    answer.insert(answer.end(), 10, 0xAB);
    OneShotServer server(answer);
    VsClient::Connection c;
    ASSERT_TRUE(c.Connect("127.0.0.1", server.port(), 10000));
    VsClient::Response r;
    EXPECT_FALSE(c.Receive(r));
    EXPECT_EQ(c.error(), "connection closed by the server");
    EXPECT_LT(r.payload.capacity(), size_t(4) << 20);
}

TEST(ClientConnection, ConnectAndSendAreBoundedByTheTimeOut) {
    // A listener that never accepts, with a backlog of one that a first
    // client fills: the next handshake gets no answer at all.
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    socklen_t size = sizeof(addr);
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &size);
    uint16_t port = ntohs(addr.sin_port);

    VsClient::Connection first;
    ASSERT_TRUE(first.Connect("127.0.0.1", port, 300));
    // Nobody reads: the socket buffers fill and the send has to wait.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(first.Send(std::vector<uint8_t>(64 << 20, 1)));
    VsClient::Connection second;
    EXPECT_FALSE(second.Connect("127.0.0.1", port, 300));
    EXPECT_EQ(first.error(), "timed out");
    EXPECT_EQ(second.error(), "timed out");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    close(listener);
}
