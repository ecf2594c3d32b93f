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

namespace {

const std::vector<uint8_t> kUnknownAnswer = {0x56, 0x53, 0x34, 0, 0x64, 0, 0, 0, 0, 0, 0, 0};

std::vector<uint8_t> Whole(const Response& r) {
    std::vector<uint8_t> out = {'V', 'S', '4', 0};
    for (uint32_t v : {r.status, uint32_t(r.payload.size())})
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    out.insert(out.end(), r.payload.begin(), r.payload.end());
    return out;
}

}  // namespace

TEST(Server, UnknownVerbIsAnsweredAndTheConnectionStaysOpen) {
    RunningServer s("[Server]\n");
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    Response r;
    for (const char* verb : {"NOSUCH", "who", "", "GET"}) {
        ASSERT_TRUE(c.Request(BuildRequestFrame(verb, 400, {}), r)) << c.error();
        EXPECT_EQ(Whole(r), kUnknownAnswer) << verb;
    }
    ASSERT_TRUE(c.Request(BuildRequestFrame("WHO", 400, {}), r));
    EXPECT_EQ(r.status, 0u);
}

TEST(Server, RefusedClientIsClosedWithoutAByte) {
    RunningServer s("[Server]\nAccessPermit=10.1.2.3;192.168.0.0\n");
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    EXPECT_TRUE(c.WaitForClose(10000));
    s.Stop();
    EXPECT_NE(s.folder().requestLog().find("# The connection from 127.0.0.1 was rejected.\r\n"),
              std::string::npos);
}

TEST(Server, IdleConnectionIsClosedAtItsDeadline) {
    RunningServer s("[Server]\n");
    s.server().SetIdleTimeoutForTesting(std::chrono::milliseconds(300));
    ASSERT_TRUE(s.Start());
    VsClient::Connection quiet, busy;
    ASSERT_TRUE(s.Connect(quiet));
    ASSERT_TRUE(s.Connect(busy));
    // A request moves the deadline; a partial one does not complete and the
    // connection still closes.
    Response r;
    ASSERT_TRUE(busy.Request(BuildRequestFrame("WHO", 400, {}), r));
    ASSERT_TRUE(busy.Send(std::vector<uint8_t>(20, 0)));
    EXPECT_TRUE(quiet.WaitForClose(10000));
    EXPECT_TRUE(busy.WaitForClose(10000));
}

TEST(Server, SegmentedAndPipelinedFramesAreEachAnsweredInOrder) {
    RunningServer s("[Server]\n");
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));

    // One byte per segment.
    std::vector<uint8_t> echo = BuildRequestFrame("ECHO", 400, {1, 2, 3, 4, 5});
    for (uint8_t b : echo) {
        ASSERT_TRUE(c.Send({b}));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    Response r;
    ASSERT_TRUE(c.Receive(r));
    EXPECT_EQ(r.payload, (std::vector<uint8_t>{2, 0, 5, 0, 0, 0, 1, 2, 3, 4, 5}));

    // Three frames in one segment, odd lengths included, the last a 401 frame.
    std::vector<uint8_t> burst = BuildRequestFrame("ECHO", 400, {9});
    auto second = BuildRequestFrame("NOPE", 400, {7, 7, 7});
    auto third = BuildRequestFrame("ECHO", 401, {8, 8}, 949);
    burst.insert(burst.end(), second.begin(), second.end());
    burst.insert(burst.end(), third.begin(), third.end());
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
    ASSERT_TRUE(c.Request(BuildRequestFrame("ECHO", 400, big), r));
    ASSERT_EQ(r.payload.size(), big.size() + 6);
    EXPECT_TRUE(std::equal(big.begin(), big.end(), r.payload.begin() + 6));
}

TEST(Server, OversizedAnnouncementClosesTheConnection) {
    RunningServer s("[Server]\nMaxRequestSize=1\n");
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    std::vector<uint8_t> header = BuildRequestFrame("ECHO", 400, {});
    header[32] = 0;
    header[33] = 0;
    header[34] = 0x20;  // 2 MiB announced, nothing sent
    ASSERT_TRUE(c.Send(header));
    EXPECT_TRUE(c.WaitForClose(10000));
    s.Stop();
    EXPECT_NE(s.folder().requestLog().find(
                  "# The request from 127.0.0.1 was too large (2097188 bytes).\r\n"),
              std::string::npos);
}

TEST(Server, ListenFailureIsLoggedAndNothingRuns) {
    RunningServer first("[Server]\n");
    ASSERT_TRUE(first.Start());
    TestModuleFolder folder("[Server]\n");
    Vs5Server::CAsioVs5Server second(folder.config(), first.port());
    Vs5Platform::ManualResetEvent stop;
    EXPECT_FALSE(second.Start(stop));
    EXPECT_FALSE(second.listening());
    second.Stop();  // returns at once although the stop event is not set
    EXPECT_NE(folder.requestLog().find("# Cannot listen the specified ip and port: "),
              std::string::npos);
}

TEST(Server, ManyConcurrentConnections) {
    RunningServer s("[Server]\n");
    ASSERT_TRUE(s.Start());
    constexpr int kClients = 64, kRequests = 40;
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i]() {
            VsClient::Connection c;
            if (!s.Connect(c))
                return;
            Response r;
            for (int k = 0; k < kRequests; ++k) {
                std::vector<uint8_t> body = {uint8_t(i), uint8_t(k)};
                if (!c.Request(BuildRequestFrame("ECHO", 400, body), r))
                    return;
                if (r.payload != std::vector<uint8_t>{2, 0, 2, 0, 0, 0, uint8_t(i), uint8_t(k)})
                    return;
                if (!c.Request(BuildRequestFrame("NOPE", 400, body), r) || r.status != 100)
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
    RunningServer s("[Server]\n");
    s.server().SetIoThreadCount(1);
    ASSERT_TRUE(s.Start());
    // The undefined-behaviour sanitizer needs a pipe to check a type it has
    // not seen before, and it has none while the descriptors are used up. So
    // the types along the accept path are shown to it now: one whole
    // connection, given time to end on the server's side, and a system error.
    VsClient::Connection first;
    Response r;
    ASSERT_TRUE(s.Connect(first));
    ASSERT_TRUE(first.Request(BuildRequestFrame("WHO", 400, {}), r));
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
    ASSERT_TRUE(c.Request(BuildRequestFrame("WHO", 400, {}), r));
    EXPECT_EQ(r.status, 0u);
}

TEST(Server, ChildProcessesInheritNeitherTheListenerNorClientSockets) {
    RunningServer s("[Server]\n");
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    Response r;
    ASSERT_TRUE(c.Request(BuildRequestFrame("WHO", 400, {}), r));
    // Worker processes and tools are started from this process; what a
    // started program holds open shows in its descriptor table.
    FILE* child = popen("ls -l /proc/self/fd", "r");
    ASSERT_NE(child, nullptr);
    std::string listing;
    char buffer[512];
    while (fgets(buffer, sizeof(buffer), child) != nullptr)
        listing += buffer;
    pclose(child);
    EXPECT_NE(listing.find("/proc/"), std::string::npos);  // the listing itself
    EXPECT_EQ(listing.find("socket:"), std::string::npos) << listing;
}

namespace {

class FailingEnvironment : public Vs5Server::IoThreadEnvironment {
public:
    bool StartThread(Vs5Server::CTlsContainer&) override {
        ++started;
        return false;
    }
    void StopThread(Vs5Server::CTlsContainer&) override { ++stopped; }
    std::atomic<int> started{0}, stopped{0};
};

class WorkingEnvironment : public Vs5Server::IoThreadEnvironment {
public:
    bool StartThread(Vs5Server::CTlsContainer& tls) override {
        tls.workerPipe = 4242;
        return true;
    }
    void StopThread(Vs5Server::CTlsContainer& tls) override {
        EXPECT_EQ(tls.workerPipe, 4242);
        ++stopped;
    }
    std::atomic<int> stopped{0};
};

}  // namespace

TEST(Server, IoThreadsServeWithoutWorkersAndSurviveAThrowingCommand) {
    RunningServer s("[Server]\n");
    FailingEnvironment env;
    s.server().SetIoThreadEnvironment(&env);
    s.server().SetIoThreadCount(1);
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    Response r;
    ASSERT_TRUE(c.Request(BuildRequestFrame("WHO", 400, {}), r));
    EXPECT_EQ(TypedText(r).substr(TypedText(r).rfind(' ')), " -1");

    ASSERT_TRUE(c.Send(BuildRequestFrame("THROW", 400, {})));
    EXPECT_TRUE(c.WaitForClose(10000));
    // The only I/O thread is still there for the next client.
    VsClient::Connection next;
    ASSERT_TRUE(s.Connect(next));
    ASSERT_TRUE(next.Request(BuildRequestFrame("WHO", 400, {}), r));
    EXPECT_EQ(r.status, 0u);
    s.Stop();
    EXPECT_EQ(env.started.load(), 1);
    EXPECT_EQ(env.stopped.load(), 0);  // nothing was started, nothing to stop
    std::string log = s.folder().systemLog();
    EXPECT_NE(log.find("I/O thread 0 serves without its worker process."), std::string::npos);
    EXPECT_NE(log.find("The request from 127.0.0.1 failed: test command failed"),
              std::string::npos);
}

TEST(Server, DispatchSeesTheThreadsWorker) {
    RunningServer s("[Server]\n");
    WorkingEnvironment env;
    s.server().SetIoThreadEnvironment(&env);
    s.server().SetIoThreadCount(2);
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    Response r;
    ASSERT_TRUE(c.Request(BuildRequestFrame("WHO", 400, {}), r));
    EXPECT_EQ(TypedText(r).substr(TypedText(r).rfind(' ')), " 4242");
    s.Stop();
    EXPECT_EQ(env.stopped.load(), 2);
}

TEST(IoThreadCount, ProcessorsCappedByTheSetting) {
    EXPECT_EQ(Vs5Server::IoThreadCount(16, 0), 6);
    EXPECT_EQ(Vs5Server::IoThreadCount(4, 10), 4);
    EXPECT_EQ(Vs5Server::IoThreadCount(16, 2), 2);
    EXPECT_EQ(Vs5Server::IoThreadCount(2, -1), 2);
    EXPECT_EQ(Vs5Server::IoThreadCount(0, 0), 1);
}
