// The server's threads and descriptors: concurrent clients, a stop while
// clients come and go, I/O threads without a worker, and running out of
// descriptors.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "server/server_test_support.h"

using namespace ServerTest;
using VsClient::BuildRequestFrame;
using VsClient::Response;

TEST(Server, ManyConcurrentConnectionsWhileThePermitListIsReloaded) {
    RunningServer s;
    ASSERT_TRUE(s.Start());
    std::atomic<bool> done{false};
    std::atomic<int> good{0};
    // Both lists admit this client.
    std::thread reloader([&]() {
        for (int k = 0; !done; ++k) {
            std::ofstream(s.folder().path() + "/vistrel5.ini")
                << (k % 2 ? "[Server]\nAccessPermit=127.0.0.1;10.0.0.1\n"
                          : "[Server]\nAccessPermit=10.0.0.2;127.0.0.0\n");
            s.folder().config().ReadSettings(false);
        }
    });
    std::vector<std::thread> clients;
    for (int i = 0; i < 16; ++i) {
        clients.emplace_back([&, i]() {
            for (int k = 0; k < 20; ++k) {
                VsClient::Connection c;
                Response r;
                std::vector<uint8_t> body = {uint8_t(i), uint8_t(k)};
                if (s.Connect(c) && Ask(c, "ECHO", r, body) &&
                    r.payload == std::vector<uint8_t>{2, 0, 2, 0, 0, 0, body[0], body[1]} &&
                    Ask(c, "NOPE", r, body) && Whole(r) == kUnknownAnswer)
                    ++good;
            }
        });
    }
    for (std::thread& t : clients)
        t.join();
    done = true;
    reloader.join();
    EXPECT_EQ(good.load(), 16 * 20);
}

TEST(Server, StopWhileClientsComeAndGo) {
    // A whole request, a header announcing 512 KiB and nothing more, a large
    // frame then one and a half small ones, a 4 GiB announcement, nothing.
    auto announced = BuildRequestFrame("ECHO", 400, {});
    announced[34] = 0x08;
    auto piled = BuildRequestFrame("ECHO", 400, std::vector<uint8_t>(3000, 7));
    auto small = BuildRequestFrame("NOPE", 401, {1}, 1252);
    piled.insert(piled.end(), small.begin(), small.end());
    piled.insert(piled.end(), small.begin(), small.begin() + 20);
    auto huge = BuildRequestFrame("ECHO", 400, {});
    huge[35] = 0xFF;
    const std::vector<std::vector<uint8_t>> behaviours = {
        BuildRequestFrame("ECHO", 400, {1, 2, 3}), announced, piled, huge, {}};
    for (int round = 0; round < 5; ++round) {
        auto s = std::make_unique<RunningServer>("[Server]\nMaxRequestSize=1\n");
        s->server().SetIoThreadCount(3);
        ASSERT_TRUE(s->Start());
        uint16_t port = s->port();
        std::atomic<bool> done{false};
        std::vector<std::thread> clients;
        for (int i = 0; i < 8; ++i) {
            clients.emplace_back([&, i]() {
                for (size_t k = i; !done; ++k) {
                    VsClient::Connection c;
                    Response r;
                    const auto& frame = behaviours[k % behaviours.size()];
                    if (!c.Connect("127.0.0.1", port, 500))
                        continue;
                    if (k % behaviours.size() == 0)
                        c.Request(frame, r);
                    else if (!frame.empty())
                        c.Send(frame);
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        s.reset();
        done = true;
        for (auto& t : clients)
            t.join();
    }
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
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

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
    ASSERT_TRUE(s.Connect(first) && Ask(first, "WHO", r));
    first.Close();
    EXPECT_TRUE(boost::system::error_code(EMFILE, boost::system::system_category()).failed());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rlimit old{};
    getrlimit(RLIMIT_NOFILE, &old);
    rlimit low = old;
    // Clients and server share the process's descriptors: the client
    // connections fill the table and the server's accept fails while the
    // last client waits in the backlog.
    low.rlim_cur = OpenDescriptorCount() + 7;
    setrlimit(RLIMIT_NOFILE, &low);
    double idleCpu = 0;
    {
        std::vector<std::unique_ptr<VsClient::Connection>> clients;
        for (int i = 0; i < 20; ++i) {
            clients.push_back(std::make_unique<VsClient::Connection>());
            if (!s.Connect(*clients.back()))
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        idleCpu = ProcessCpuSeconds() - before;
    }
    setrlimit(RLIMIT_NOFILE, &old);
    // Nothing to do but wait: far less than the whole core a retry loop takes.
    EXPECT_LT(idleCpu, 0.1);
    // Once descriptors are free again, accepting goes on.
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c) && Ask(c, "WHO", r));
    EXPECT_EQ(r.status, 0u);
}

TEST(Server, ChildProcessesInheritNeitherTheListenerNorClientSockets) {
    RunningServer s;
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    Response r;
    ASSERT_TRUE(s.Connect(c) && Ask(c, "WHO", r));
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
        Response r;
        ASSERT_TRUE(s.Connect(c) && Ask(c, "WHO", r));
        EXPECT_TRUE(TypedText(r).ends_with(" worker")) << TypedText(r);
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
