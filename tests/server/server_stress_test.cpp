#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "server/server_test_support.h"

using namespace ServerTest;
using VsClient::BuildRequestFrame;
using VsClient::Response;

namespace {

// What a client does on one connection: a whole request, a header announcing
// 512 KiB and nothing more, a large frame then one and a half small ones, a
// 4 GiB announcement, or nothing at all.
std::vector<std::vector<uint8_t>> ClientBehaviours() {
    auto announced = BuildRequestFrame("ECHO", 400, {});
    announced[34] = 0x08;
    auto piled = BuildRequestFrame("ECHO", 400, std::vector<uint8_t>(3000, 7));
    auto small = BuildRequestFrame("NOPE", 401, {1}, 1252);
    piled.insert(piled.end(), small.begin(), small.end());
    piled.insert(piled.end(), small.begin(), small.begin() + 20);
    auto huge = BuildRequestFrame("ECHO", 400, {});
    huge[35] = 0xFF;
    return {BuildRequestFrame("ECHO", 400, {1, 2, 3}), announced, piled, huge, {}};
}

}  // namespace

TEST(ServerStress, StopWhileClientsComeAndGo) {
    const auto behaviours = ClientBehaviours();
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
                    if (!c.Connect("127.0.0.1", port, 500))
                        continue;
                    Response r;
                    const std::vector<uint8_t>& frame = behaviours[k % behaviours.size()];
                    if (k % behaviours.size() == 0)
                        c.Request(frame, r);
                    else if (!frame.empty())
                        c.Send(frame);
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        s->Stop();
        s.reset();
        done = true;
        for (auto& t : clients)
            t.join();
    }
}

TEST(ServerStress, ReloadDuringAdmission) {
    RunningServer s("[Server]\n");
    ASSERT_TRUE(s.Start());
    std::atomic<bool> done{false};
    std::atomic<int> refused{0}, served{0};
    std::thread reloader([&]() {
        int k = 0;
        while (!done) {
            std::ofstream(s.folder().path() + "/vistrel5.ini")
                << (k++ % 2 ? "[Server]\nAccessPermit=127.0.0.1;10.0.0.1\n"
                            : "[Server]\nAccessPermit=10.0.0.2;127.0.0.0\n");
            s.folder().config().ReadSettings(false);
        }
    });
    std::vector<std::thread> clients;
    for (int i = 0; i < 4; ++i) {
        clients.emplace_back([&]() {
            for (int k = 0; k < 100; ++k) {
                VsClient::Connection c;
                if (!s.Connect(c))
                    continue;
                Response r;
                if (c.Request(BuildRequestFrame("WHO", 400, {}), r))
                    ++served;
                else
                    ++refused;
            }
        });
    }
    for (auto& t : clients)
        t.join();
    done = true;
    reloader.join();
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(served.load(), 400);
}
