#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "server/server_test_support.h"

using namespace ServerTest;
using VsClient::BuildRequestFrame;
using VsClient::Response;

TEST(ServerStress, StopWhileClientsComeAndGo) {
    for (int round = 0; round < 5; ++round) {
        auto s = std::make_unique<RunningServer>("[Server]\nMaxRequestSize=1\n");
        s->server().SetIoThreadCount(3);
        ASSERT_TRUE(s->Start());
        uint16_t port = s->port();
        std::atomic<bool> done{false};
        std::vector<std::thread> clients;
        for (int i = 0; i < 8; ++i) {
            clients.emplace_back([&, i]() {
                int k = 0;
                while (!done) {
                    VsClient::Connection c;
                    if (!c.Connect("127.0.0.1", port, 500))
                        continue;
                    Response r;
                    switch ((i + k++) % 5) {
                        case 0:
                            c.Request(BuildRequestFrame("ECHO", 400, {1, 2, 3}), r);
                            break;
                        case 1: {
                            auto f = BuildRequestFrame("ECHO", 400, {});
                            f[32] = 0;
                            f[33] = 0;
                            f[34] = 0x08;  // announces 512 KiB, sends nothing
                            c.Send(f);
                            break;
                        }
                        case 2: {
                            auto f = BuildRequestFrame("ECHO", 400, std::vector<uint8_t>(3000, 7));
                            auto g = BuildRequestFrame("NOPE", 401, {1}, 1252);
                            f.insert(f.end(), g.begin(), g.end());
                            f.insert(f.end(), g.begin(), g.begin() + 20);
                            c.Send(f);
                            break;
                        }
                        case 3: {
                            auto f = BuildRequestFrame("ECHO", 400, {});
                            f[35] = 0xFF;  // 4 GiB announced
                            c.Send(f);
                            break;
                        }
                        default:
                            break;
                    }
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
