// The bounds a hostile client meets: bytes held for unfinished requests,
// slow frames, the number of connections and the rejection lines.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "server/server_test_support.h"
#include "support/text_count.h"

using namespace ServerTest;
using VsClient::BuildRequestFrame;
using VsClient::Response;

namespace {

bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The sum of the numbers in the "# N more connections were rejected." lines.
unsigned HeldBack(const std::string& log) {
    unsigned total = 0;
    const std::string tail = " more connections were rejected.\r\n";
    for (size_t at = log.find(tail); at != std::string::npos; at = log.find(tail, at + 1)) {
        size_t start = log.rfind("# ", at);
        total += static_cast<unsigned>(strtoul(log.c_str() + start + 2, nullptr, 10));
    }
    return total;
}

}  // namespace

TEST(ServerLimits, BytesOfUnfinishedRequestsAreCappedAcrossTheServer) {
    RunningServer s("[Server]\nMaxBufferedRequests=1\nMaxRequestSize=4\n");
    ASSERT_TRUE(s.Start());
    // 2 MiB announced (allowed by MaxRequestSize) but only 1 MiB may be held.
    VsClient::Connection greedy;
    ASSERT_TRUE(s.Connect(greedy));
    std::vector<uint8_t> frame = BuildRequestFrame("ECHO", 400, std::vector<uint8_t>(2 << 20, 1));
    frame.resize(frame.size() - (512 << 10));
    (void)greedy.Send(frame);
    EXPECT_TRUE(greedy.WaitForClose(10000));
    EXPECT_TRUE(Contains(s.folder().requestLog(),
                         "# The request from 127.0.0.1 was too large (2097188 bytes).\r\n"));

    // What the closed connection held, and each answered frame, is given back.
    VsClient::Connection next;
    ASSERT_TRUE(s.Connect(next));
    for (int i = 0; i < 3; ++i) {
        Response r;
        ASSERT_TRUE(Ask(next, "ECHO", r, std::vector<uint8_t>(900 << 10, 2))) << i;
        EXPECT_EQ(r.status, 0u);
    }
}

TEST(ServerLimits, AFrameMustBeCompleteWithinTheIdlePeriodFromItsFirstByte) {
    RunningServer s;
    s.server().SetIdleTimeoutForTesting(std::chrono::milliseconds(500));
    ASSERT_TRUE(s.Start());
    VsClient::Connection trickle;
    ASSERT_TRUE(s.Connect(trickle));
    // A byte every 50 ms would move a per-byte deadline for ever.
    std::vector<uint8_t> frame = BuildRequestFrame("WHO", 400, std::vector<uint8_t>(400, 0));
    bool closed = false;
    for (size_t i = 0; i < frame.size() && !closed; ++i) {
        closed = trickle.WaitForClose(50);
        if (!closed)
            (void)trickle.Send({frame[i]});
    }
    EXPECT_TRUE(closed);
}

TEST(ServerLimits, ConnectionsBeyondTheLimitAreClosedAtOnce) {
    RunningServer s("[Server]\nMaxConnections=2\n");
    ASSERT_TRUE(s.Start());
    VsClient::Connection a, b, c;
    Response r;
    ASSERT_TRUE(s.Connect(a) && Ask(a, "WHO", r));
    ASSERT_TRUE(s.Connect(b) && Ask(b, "WHO", r));
    ASSERT_TRUE(s.Connect(c));
    EXPECT_TRUE(c.WaitForClose(10000));
    EXPECT_TRUE(Contains(s.folder().requestLog(),
                         "# The connection from 127.0.0.1 was rejected: 2 connections are "
                         "open.\r\n"));
    // A closed connection makes room again.
    a.Close();
    EXPECT_TRUE(WaitFor([&] {
        VsClient::Connection d;
        return s.Connect(d) && Ask(d, "WHO", r);
    }));
}

TEST(ServerLimits, RejectionLinesArePacedAndTheRestSummedUpEachMinute) {
    RunningServer s("[Server]\nAccessPermit=10.1.2.3\n");
    // The clock stands still, so every rejection falls in the same second.
    const auto frozen = std::chrono::steady_clock::now();
    s.server().SetRejectionClockForTesting([frozen] { return frozen; });
    Vs5Server::HousekeepingTimings timings;
    timings.minuteMs = 100;
    s.server().SetHousekeepingTimings(timings);
    ASSERT_TRUE(s.Start());
    for (int i = 0; i < 25; ++i) {
        VsClient::Connection c;
        ASSERT_TRUE(s.Connect(c));
        EXPECT_TRUE(c.WaitForClose(10000));
    }
    EXPECT_TRUE(WaitFor([&] { return HeldBack(s.folder().requestLog()) == 15; }));
    EXPECT_EQ(vstest::CountOf(s.folder().requestLog(), "was rejected.\r\n"), 10u);
}
