// The metrics endpoint scraped while the real server answers requests.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "commands/command_server.h"

using namespace CommandTest;

namespace {

uint16_t FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    close(fd);
    return ntohs(a.sin_port);
}

// The whole HTTP answer to GET `target`.
std::string Http(uint16_t port, const std::string& target) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string request = "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return answer;
}

// The value of one sample line ("name{labels} value"), or -1.
double Sample(const std::string& text, const std::string& series) {
    size_t at = text.find("\n" + series + " ");
    return at == std::string::npos ? -1 : std::stod(text.substr(at + series.size() + 2));
}

}  // namespace

TEST(Metrics, CountersMoveWithRequestsAndHealthFollowsTheWorkers) {
    const uint16_t port = FreePort();
    CommandServer s("[Server]\nMetricsPort=" + std::to_string(port) + "\n");
    ASSERT_TRUE(s.Start());
    EXPECT_EQ(s.server().metricsPort(), port);
    const std::string photo = s.path() + "/rose.jpg";
    ASSERT_TRUE(Shell("convert rose: " + Quoted(photo)));

    const std::string before = Http(port, "/metrics");
    ASSERT_NE(before.find("HTTP/1.1 200"), std::string::npos) << before;
    // Each scrape is answered once and the connection closed (Http reads to the
    // end), which an HTTP/1.1 client is told so it does not wait to reuse it.
    EXPECT_NE(before.find("\r\nConnection: close\r\n"), std::string::npos) << before;
    const std::string ok = "vistrel_requests_total{verb=\"GET\",code=\"0\"}";
    const std::string missing = "vistrel_requests_total{verb=\"GET\",code=\"102\"}";
    const double okBefore = std::max(0.0, Sample(before, ok));
    const double hitsBefore = Sample(before, "vistrel_cache_hits_total");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(s.Ask(VsClient::BuildGetFrame(photo, "cmd=thumb&w=20")).status, 0u);
    EXPECT_EQ(s.Ask(VsClient::BuildGetFrame(s.path() + "/none.jpg", "cmd=thumb")).status, 102u);
    EXPECT_EQ(s.Ask(VsClient::BuildRequestFrame("NOPE", 400, {})).status, 100u);

    const std::string after = Http(port, "/metrics");
    EXPECT_EQ(Sample(after, ok), okBefore + 3);
    EXPECT_GE(Sample(after, missing), 1);
    EXPECT_GE(Sample(after, "vistrel_requests_total{verb=\"other\",code=\"100\"}"), 1);
    EXPECT_EQ(Sample(after, "vistrel_cache_hits_total"), hitsBefore + 2);
    EXPECT_GE(Sample(after, "vistrel_request_duration_seconds_count{verb=\"GET\"}"), 4);
    EXPECT_GE(Sample(after, "vistrel_workers_alive"), 1);
    EXPECT_GE(Sample(after, "vistrel_open_connections"), 0);
    EXPECT_NE(Http(port, "/healthz").find("HTTP/1.1 200"), std::string::npos);
    EXPECT_NE(Http(port, "/other").find("HTTP/1.1 404"), std::string::npos);
    s.Stop();
    EXPECT_EQ(Http(port, "/healthz"), "");  // the endpoint goes with the server
}
