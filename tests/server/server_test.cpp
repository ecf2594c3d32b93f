#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "server/server_test_support.h"

using namespace ServerTest;
using VsClient::BuildRequestFrame;
using VsClient::Response;

TEST(Server, RefusedAndOversizedClientsAreClosedWithALogLine) {
    // A refused client gets no byte at all.
    RunningServer refusing("[Server]\nAccessPermit=10.1.2.3;192.168.0.0\n");
    ASSERT_TRUE(refusing.Start());
    VsClient::Connection c;
    ASSERT_TRUE(refusing.Connect(c));
    EXPECT_TRUE(c.WaitForClose(10000));
    refusing.Stop();
    EXPECT_TRUE(Contains(refusing.folder().requestLog(),
                         "# The connection from 127.0.0.1 was rejected.\r\n"));

    // An announcement over the limit closes the connection before the body.
    RunningServer small("[Server]\nMaxRequestSize=1\n");
    ASSERT_TRUE(small.Start());
    ASSERT_TRUE(small.Connect(c));
    std::vector<uint8_t> header = BuildRequestFrame("ECHO", 400, {});
    header[34] = 0x20;  // 2 MiB announced, nothing sent
    ASSERT_TRUE(c.Send(header));
    EXPECT_TRUE(c.WaitForClose(10000));
    small.Stop();
    EXPECT_TRUE(Contains(small.folder().requestLog(),
                         "# The request from 127.0.0.1 was too large (2097188 bytes).\r\n"));
}

TEST(Server, IdleConnectionIsClosedAtItsDeadline) {
    RunningServer s;
    s.server().SetIdleTimeoutForTesting(std::chrono::milliseconds(300));
    ASSERT_TRUE(s.Start());
    VsClient::Connection quiet, busy;
    ASSERT_TRUE(s.Connect(quiet));
    ASSERT_TRUE(s.Connect(busy));
    // A request moves the deadline; a partial one does not complete and the
    // connection still closes.
    Response r;
    ASSERT_TRUE(Ask(busy, "WHO", r));
    ASSERT_TRUE(busy.Send(std::vector<uint8_t>(20, 0)));
    EXPECT_TRUE(quiet.WaitForClose(10000));
    EXPECT_TRUE(busy.WaitForClose(10000));
}

TEST(Server, EveryFrameIsAnsweredInOrderWhateverItsVerbAndSegments) {
    RunningServer s;
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    Response r;
    // Unknown verbs are answered and the connection stays open.
    for (const char* verb : {"NOSUCH", "who", "", "GET"}) {
        ASSERT_TRUE(Ask(c, verb, r)) << c.error();
        EXPECT_EQ(Whole(r), kUnknownAnswer) << verb;
    }

    // One byte per segment.
    for (uint8_t b : BuildRequestFrame("ECHO", 400, {1, 2, 3, 4, 5})) {
        ASSERT_TRUE(c.Send({b}));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(c.Receive(r));
    EXPECT_EQ(r.payload, (std::vector<uint8_t>{2, 0, 5, 0, 0, 0, 1, 2, 3, 4, 5}));

    // Three frames in one segment, odd lengths included, the last a 401 frame.
    std::vector<uint8_t> burst = BuildRequestFrame("ECHO", 400, {9});
    for (auto f :
         {BuildRequestFrame("NOPE", 400, {7, 7, 7}), BuildRequestFrame("ECHO", 401, {8, 8}, 949)})
        burst.insert(burst.end(), f.begin(), f.end());
    ASSERT_TRUE(c.Send(burst));
    ASSERT_TRUE(c.Receive(r));
    EXPECT_EQ(r.payload, (std::vector<uint8_t>{2, 0, 1, 0, 0, 0, 9}));
    ASSERT_TRUE(c.Receive(r));
    EXPECT_EQ(Whole(r), kUnknownAnswer);
    ASSERT_TRUE(c.Receive(r));
    EXPECT_EQ(r.payload, (std::vector<uint8_t>{2, 0, 6, 0, 0, 0, 0xB5, 3, 0, 0, 8, 8}));

    // A large body arrives in many reads.
    std::vector<uint8_t> big(200000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7);
    ASSERT_TRUE(Ask(c, "ECHO", r, big));
    ASSERT_EQ(r.payload.size(), big.size() + 6);
    EXPECT_TRUE(std::equal(big.begin(), big.end(), r.payload.begin() + 6));
}

TEST(Server, ListenFailureIsLoggedAndNothingRuns) {
    RunningServer first;
    ASSERT_TRUE(first.Start());
    TestModuleFolder folder("[Server]\n");
    Vs5Server::CAsioVs5Server second(folder.config(), first.port());
    Vs5Platform::ManualResetEvent stop;
    EXPECT_FALSE(second.Start(stop));
    EXPECT_FALSE(second.listening());
    second.Stop();  // returns at once although the stop event is not set
    EXPECT_TRUE(Contains(folder.requestLog(), "# Cannot listen the specified ip and port: "));
}

TEST(Server, ManyConcurrentConnections) {
    RunningServer s;
    ASSERT_TRUE(s.Start());
    constexpr int kClients = 64, kRequests = 40;
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i]() {
            VsClient::Connection c;
            Response r;
            if (!s.Connect(c))
                return;
            for (int k = 0; k < kRequests; ++k) {
                std::vector<uint8_t> body = {uint8_t(i), uint8_t(k)};
                if (!Ask(c, "ECHO", r, body) ||
                    r.payload != std::vector<uint8_t>{2, 0, 2, 0, 0, 0, body[0], body[1]})
                    return;
                if (!Ask(c, "NOPE", r, body) || Whole(r) != kUnknownAnswer)
                    return;
                ++good;
            }
        });
    }
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(good.load(), kClients * kRequests);
}

namespace {

int OpenDescriptorCount() {
    int n = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir) != nullptr)
        ++n;
    closedir(dir);
    return n - 3;  // ".", ".." and the listing's own descriptor
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Lowers the process's descriptor limit for as long as it lives.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t soft) {
        getrlimit(RLIMIT_NOFILE, &old_);
        rlimit low = old_;
        low.rlim_cur = soft;
        setrlimit(RLIMIT_NOFILE, &low);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &old_); }

private:
    rlimit old_{};
};

}  // namespace

TEST(Server, OutOfDescriptorsTheAcceptLoopWaitsInsteadOfSpinning) {
    RunningServer s;
    s.server().SetIoThreadCount(1);
    ASSERT_TRUE(s.Start());
    // The undefined-behaviour sanitizer needs a pipe to check a type it has
    // not seen before, and it has none while the descriptors are used up. So
    // the types along the accept path are shown to it now: one whole
    // connection, given time to end on the server's side, and a system error.
    VsClient::Connection first;
    Response r;
    ASSERT_TRUE(s.Connect(first));
    ASSERT_TRUE(Ask(first, "WHO", r));
    first.Close();
    EXPECT_TRUE(boost::system::error_code(EMFILE, boost::system::system_category()).failed());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    double idleCpu = 0;
    {
        // Clients and server share the process's descriptors: the client
        // connections fill the table and the server's accept fails while the
        // last client waits in the backlog.
        DescriptorLimit limit(OpenDescriptorCount() + 7);
        std::vector<std::unique_ptr<VsClient::Connection>> clients;
        for (int i = 0; i < 20; ++i) {
            auto c = std::make_unique<VsClient::Connection>();
            if (!s.Connect(*c))
                break;
            clients.push_back(std::move(c));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        idleCpu = ProcessCpuSeconds() - before;
    }
    // Nothing to do but wait: far less than the whole core a retry loop takes.
    EXPECT_LT(idleCpu, 0.1);
    // Once descriptors are free again, accepting goes on.
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    ASSERT_TRUE(Ask(c, "WHO", r));
    EXPECT_EQ(r.status, 0u);
}

TEST(Server, ChildProcessesInheritNeitherTheListenerNorClientSockets) {
    RunningServer s;
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    Response r;
    ASSERT_TRUE(Ask(c, "WHO", r));
    // Worker processes and tools are started from this process; what a
    // started program holds open shows in its descriptor table.
    FILE* child = popen("ls -l /proc/self/fd", "r");
    ASSERT_NE(child, nullptr);
    std::string listing;
    char buffer[512];
    while (fgets(buffer, sizeof(buffer), child) != nullptr)
        listing += buffer;
    pclose(child);
    EXPECT_TRUE(Contains(listing, "/proc/"));  // the listing itself
    EXPECT_FALSE(Contains(listing, "socket:")) << listing;
}

namespace {

// Gives the I/O threads a stand-in worker, or fails to start one for every
// thread whose turn is in `failing` (counted from 0 in start order).
class TestEnvironment : public Vs5Server::IoThreadEnvironment {
public:
    explicit TestEnvironment(std::vector<bool> failing) : failing_(std::move(failing)) {}
    bool StartThread(Vs5Server::CTlsContainer& tls) override {
        size_t turn = started++;
        if (turn < failing_.size() && failing_[turn])
            return false;
        tls.worker = reinterpret_cast<Vs5Worker::CWorkerProcess*>(&worker_);
        return true;
    }
    void StopThread(Vs5Server::CTlsContainer& tls) override {
        EXPECT_NE(tls.worker, nullptr);
        ++stopped;
    }
    std::atomic<size_t> started{0}, stopped{0};

private:
    std::vector<bool> failing_;
    int worker_ = 0;  // only its address is used
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
        ASSERT_TRUE(s.Connect(c));
        Response r;
        ASSERT_TRUE(Ask(c, "WHO", r));
        EXPECT_EQ(TypedText(r).substr(TypedText(r).rfind(' ')), " worker");
        if (i == 2) {
            ASSERT_TRUE(c.Send(BuildRequestFrame("THROW", 400, {})));
            EXPECT_TRUE(c.WaitForClose(10000));
        }
    }
    s.Stop();
    EXPECT_EQ(env.started.load(), 2u);
    EXPECT_EQ(env.stopped.load(), 1u);  // only the started one is stopped
    EXPECT_TRUE(
        Contains(s.folder().systemLog(), "The request from 127.0.0.1 failed: test command failed"));
}

TEST(Server, NoThreadWithAWorkerStopsTheStart) {
    RunningServer s;
    TestEnvironment env({true, true});
    s.server().SetIoThreadEnvironment(&env);
    s.server().SetIoThreadCount(2);
    EXPECT_FALSE(s.Start());
    EXPECT_TRUE(s.server().workersFailed());
    EXPECT_TRUE(Contains(s.folder().requestLog(), "No I/O thread has a worker process"));
    VsClient::Connection c;
    EXPECT_FALSE(c.Connect("127.0.0.1", s.port(), 2000) && c.WaitForClose(2000) == false);
}

TEST(IoThreadCount, ProcessorsCappedByTheSetting) {
    for (auto [processors, setting, expected] :
         {std::tuple{16, 0, 6}, {4, 10, 4}, {16, 2, 2}, {2, -1, 2}, {0, 0, 1}})
        EXPECT_EQ(Vs5Server::IoThreadCount(processors, setting), expected)
            << processors << " " << setting;
}
