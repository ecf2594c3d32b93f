// The server's I/O threads without a worker, and what child processes inherit.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "server/server_test_support.h"

using namespace ServerTest;
using VsClient::BuildRequestFrame;
using VsClient::Response;

TEST(Server, ChildProcessesInheritNeitherTheListenerNorClientSockets) {
    RunningServer s;
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    Response r;
    ASSERT_TRUE(s.Connect(c) && Ask(c, "WHO", r));
    // Worker processes and tools are started from this process; what a started
    // program holds open shows in its descriptor table: no listener, no client.
    FILE* child = popen("ls -l /proc/self/fd", "r");
    ASSERT_NE(child, nullptr);
    std::string listing(4096, '\0');
    listing.resize(fread(listing.data(), 1, listing.size(), child));
    pclose(child);
    EXPECT_TRUE(Contains(listing, "/proc/"));  // the listing itself
    EXPECT_FALSE(Contains(listing, "socket:")) << listing;
}

namespace {

// Gives the I/O threads a stand-in worker, except the threads whose turn
// (counted from 0 in start order) is in `failing`.
class TestEnvironment : public Vs5Server::IoThreadEnvironment {
public:
    explicit TestEnvironment(std::vector<bool> failing) : failing_(std::move(failing)) {}
    bool StartThread(Vs5Server::CTlsContainer& tls) override {
        if (failing_[started++])
            return false;
        tls.worker = reinterpret_cast<Vs5Worker::CWorkerProcess*>(&failing_);  // only its address
        return true;
    }
    void StopThread(Vs5Server::CTlsContainer& tls) override { stopped += tls.worker != nullptr; }
    std::atomic<size_t> started{0}, stopped{0};

private:
    std::vector<bool> failing_;
};

}  // namespace

TEST(Server, ThreadsWithoutAWorkerServeNothingAndTheOthersServeAll) {
    RunningServer s;
    TestEnvironment env({true, false});
    s.server().SetIoThreadEnvironment(&env);
    s.server().SetIoThreadCount(2);
    ASSERT_TRUE(s.Start());
    EXPECT_EQ(s.server().servingThreads(), 1);
    // Every request lands on the thread that has its worker, and a throwing
    // command costs only its own connection.
    for (int i = 0; i < 6; ++i) {
        VsClient::Connection c;
        Response r;
        ASSERT_TRUE(s.Connect(c) && Ask(c, "WHO", r));
        EXPECT_TRUE(TypedText(r).ends_with(" worker")) << TypedText(r);
        EXPECT_TRUE(i != 2 ||
                    (c.Send(BuildRequestFrame("THROW", 400, {})) && c.WaitForClose(10000)));
    }
    s.Stop();
    EXPECT_EQ(env.started.load(), 2u);
    EXPECT_EQ(env.stopped.load(), 1u);  // only the started one is stopped
    EXPECT_TRUE(
        Contains(s.folder().systemLog(), "The request from 127.0.0.1 failed: test command failed"));

    // With no thread that has its worker, the server does not start.
    RunningServer none;
    TestEnvironment failing({true, true});
    none.server().SetIoThreadEnvironment(&failing);
    none.server().SetIoThreadCount(2);
    EXPECT_FALSE(none.Start());
    EXPECT_TRUE(none.server().workersFailed());
    EXPECT_TRUE(Contains(none.requestLog(), "No I/O thread has a worker process"));
}

TEST(IoThreadCount, ProcessorsCappedByTheSetting) {
    for (auto [processors, setting, expected] :
         {std::tuple{16, 0, 6}, {4, 10, 4}, {16, 2, 2}, {2, -1, 2}, {0, 0, 1}})
        EXPECT_EQ(Vs5Server::IoThreadCount(processors, setting), expected)
            << processors << " " << setting;
}
