// One soak run: the server in a folder of its own, the clients, the
// controller that samples memory and descriptors, rewrites the INI file,
// kills workers and restarts the server, and the summary.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "soak/soak_checks.h"
#include "soak/soak_images.h"
#include "soak/soak_server.h"
#include "soak/soak_traffic.h"

namespace Soak {

// Memory may grow to this multiple of its peak during the warm-up.
constexpr int kGrowthFactor = 3;
// Seconds of traffic a thread whose worker was killed needs to start a new
// one before the server restarts or the run ends.
constexpr double kKillMargin = 4;

struct Options {
    int seconds = 1800;
    int connections = 64;
    int killEvery = 60;  // seconds between worker kills
    int iniEvery = 5;    // seconds between INI rewrites
    int ioThreads = 4;
    std::string binFolder;  // where vistrel5 and vistrelremt were built
    bool keep = false;      // keep the folder for inspection
};

class SoakRun {
public:
    explicit SoakRun(Options options) : options_(std::move(options)) {}
    ~SoakRun();
    // Runs everything and prints the summary; the process exit status.
    int Run();

private:
    struct MemoryFigures {
        uint64_t serverStart = 0, serverWarmPeak = 0, serverMaxAfter = 0, serverEnd = 0;
        uint64_t workerWarmPeak = 0, workerMaxAfter = 0;
        std::vector<uint64_t> workersEnd;
    };
    struct Descriptors {
        int start = -1, midRun = -1, restartStart = -1, end = -1;
        std::vector<std::string> startList;
    };

    bool Prepare();
    void Drive(Traffic& traffic);
    void Tick(double elapsed);
    bool ServerAlive();
    void SampleMemory(double elapsed);
    void KillOneWorker(double elapsed);
    bool RestartCleanly(Traffic& traffic, double elapsed);
    int SettledDescriptors();
    int WaitForDescriptors(int expected);
    void CrashAndCheckCache(const Tally& tally);
    void CheckWorkers();
    void PrintTraffic(const Tally& tally);
    void PrintSummary(const Tally& tally);
    void Check(const std::string& name, bool ok, const std::string& detail);
    double WarmupSeconds() const;

    Options options_;
    std::string path_;
    ImageSet images_;
    std::unique_ptr<ServerFolder> folder_;
    std::unique_ptr<ServerProcess> server_;
    std::chrono::steady_clock::time_point begin_;
    MemoryFigures memory_;
    Descriptors descriptors_;
    CacheCheck cache_;
    std::vector<double> killTimes_;
    std::vector<double> restartTimes_;  // the mid-run restart, then the end of traffic
    std::vector<std::string> checks_;
    size_t firstWorkers_ = 0;
    size_t workersStarted_ = 0;  // workers alive right after each start of the server
    int iniWrites_ = 0;
    double nextIni_ = 0, nextKill_ = 0, nextSample_ = 0, nextReport_ = 0;
    bool restarted_ = false, serverDied_ = false, failed_ = false;
};

}  // namespace Soak
