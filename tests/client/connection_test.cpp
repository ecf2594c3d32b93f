#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "client/connection.h"

namespace {

// A listening socket on a free loopback port; returns the descriptor.
int Listen(int backlog, uint16_t& port) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(addr);
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), size) != 0 ||
        listen(listener, backlog) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &size) != 0)
        ADD_FAILURE() << "no loopback listener";
    port = ntohs(addr.sin_port);
    return listener;
}

}  // namespace

TEST(ClientConnection, AnnouncedPayloadIsNotAllocatedBeforeItArrives) {
    uint16_t port = 0;
    int listener = Listen(1, port);
    // Answers the first client with a header that announces 256 MiB, then
    // ten bytes, then the end.
    std::thread server([listener]() {
        std::vector<uint8_t> answer = {'V', 'S', '4', 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
        answer.insert(answer.end(), 10, 0xAB);
        int fd = accept(listener, nullptr, nullptr);
        if (fd >= 0) {
            (void)!send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            close(fd);
        }
    });
    VsClient::Connection c;
    ASSERT_TRUE(c.Connect("127.0.0.1", port, 10000));
    VsClient::Response r;
    EXPECT_FALSE(c.Receive(r));
    EXPECT_EQ(c.error(), "connection closed by the server");
    EXPECT_LT(r.payload.capacity(), size_t(4) << 20);
    server.join();
    close(listener);
}

TEST(ClientConnection, ConnectAndSendAreBoundedByTheTimeOut) {
    // A listener that never accepts, with a backlog of one that a first
    // client fills: the next handshake gets no answer at all.
    uint16_t port = 0;
    int listener = Listen(0, port);
    VsClient::Connection first, second;
    ASSERT_TRUE(first.Connect("127.0.0.1", port, 300));
    // Nobody reads: the socket buffers fill and the send has to wait.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(first.Send(std::vector<uint8_t>(64 << 20, 1)));
    EXPECT_FALSE(second.Connect("127.0.0.1", port, 300));
    EXPECT_EQ(first.error(), "timed out");
    EXPECT_EQ(second.error(), "timed out");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    close(listener);
}
