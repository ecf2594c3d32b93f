// server_bench: N client connections, each sending M unknown-verb frames one
// after the other (the next as soon as the answer is in), first against the
// real server started in this process, then against a minimal echo server on
// the same library with the same number of I/O threads. Prints requests per
// second and latency percentiles of both, and their ratio.
//
//   server_bench [--connections N] [--requests M] [--threads T]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "client/connection.h"
#include "client/request_builder.h"
#include "config/configuration.h"
#include "echo_server.h"
#include "server/asio_server.h"
#include "server/command_registry.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int connections = 64;
    int requests = 2000;
    int threads = 0;  // 0: as the server would choose
};

struct Figures {
    double requestsPerSecond = 0;
    double p50Us = 0, p99Us = 0;
    long failures = 0;
};

Figures RunLoad(uint16_t port, const Options& o) {
    std::vector<uint8_t> frame = VsClient::BuildRequestFrame("BENCH", 400, {});
    std::vector<std::vector<float>> latencies(o.connections);
    std::vector<long> failures(o.connections, 0);
    std::vector<std::thread> clients;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < o.connections; ++i) {
        clients.emplace_back([&, i]() {
            VsClient::Connection c;
            if (!c.Connect("127.0.0.1", port, 30000)) {
                failures[i] = o.requests;
                return;
            }
            latencies[i].reserve(o.requests);
            VsClient::Response r;
            for (int k = 0; k < o.requests; ++k) {
                Clock::time_point t0 = Clock::now();
                if (!c.Request(frame, r) || r.status != 100) {
                    failures[i] += o.requests - k;
                    return;
                }
                std::chrono::duration<float, std::micro> us = Clock::now() - t0;
                latencies[i].push_back(us.count());
            }
        });
    }
    for (std::thread& t : clients)
        t.join();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<float> all;
    Figures f;
    for (int i = 0; i < o.connections; ++i) {
        all.insert(all.end(), latencies[i].begin(), latencies[i].end());
        f.failures += failures[i];
    }
    if (all.empty())
        return f;
    std::sort(all.begin(), all.end());
    f.requestsPerSecond = all.size() / seconds;
    f.p50Us = all[all.size() / 2];
    f.p99Us = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    return f;
}

void Print(const char* name, const Figures& f) {
    printf("%-12s %12.0f req/s   p50 %8.1f us   p99 %8.1f us   failures %ld\n", name,
           f.requestsPerSecond, f.p50Us, f.p99Us, f.failures);
}

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        int v = atoi(argv[i + 1]);
        if (strcmp(argv[i], "--connections") == 0)
            o.connections = v;
        else if (strcmp(argv[i], "--requests") == 0)
            o.requests = v;
        else if (strcmp(argv[i], "--threads") == 0)
            o.threads = v;
        else
            return false;
    }
    return argc % 2 == 1 && o.connections > 0 && o.requests > 0 && o.threads >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArgs(argc, argv, o)) {
        fprintf(stderr, "usage: server_bench [--connections N] [--requests M] [--threads T]\n");
        return 2;
    }
    int cpus = static_cast<int>(std::thread::hardware_concurrency());
    if (o.threads == 0)
        o.threads = Vs5Server::IoThreadCount(cpus, 0);

    // The real server on a module folder of its own, with request logging off
    // so that the figures are the network path's.
    char pattern[] = "/tmp/vs_bench_XXXXXX";
    std::string folder = mkdtemp(pattern);
    std::ofstream(folder + "/vistrel5.ini") << "[Server]\nRequestLogging=false\n";
    Figures server, echo;
    {
        Configuration config;
        config.Load(folder);
        Vs5Server::CommandRegistry registry;
        Vs5Platform::ManualResetEvent stop;
        Vs5Server::CAsioVs5Server vs5(config, 0);
        vs5.SetRegistry(&registry);
        vs5.SetIoThreadCount(o.threads);
        if (!vs5.Start(stop)) {
            fprintf(stderr, "server_bench: the server could not listen\n");
            return 1;
        }
        server = RunLoad(vs5.boundPort(), o);
        stop.Set();
        vs5.Stop();
    }
    {
        EchoServer baseline(o.threads);
        echo = RunLoad(baseline.port(), o);
    }
    std::filesystem::remove_all(folder);

    printf("%d connections x %d requests, %d I/O threads, %d processors\n", o.connections,
           o.requests, o.threads, cpus);
    Print("vistrel5", server);
    Print("echo", echo);
    double ratio =
        echo.requestsPerSecond > 0 ? server.requestsPerSecond / echo.requestsPerSecond : 0;
    printf("ratio        %.2f (target >= 0.70)\n", ratio);
    return server.failures + echo.failures == 0 ? 0 : 1;
}
