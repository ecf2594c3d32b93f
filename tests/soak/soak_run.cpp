#include "soak/soak_run.h"

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace Soak {

namespace fs = std::filesystem;

namespace {

void Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

SoakRun::~SoakRun() {
    server_.reset();  // kills a server still running
    std::error_code ec;
    if (!path_.empty() && !options_.keep && !failed_)
        fs::remove_all(path_, ec);
}

void SoakRun::Check(const std::string& name, bool ok, const std::string& detail) {
    checks_.push_back(std::string(ok ? "PASS " : "FAIL ") + name + (detail.empty() ? "" : ": ") +
                      detail);
    failed_ = failed_ || !ok;
}

double SoakRun::WarmupSeconds() const {
    return std::clamp(options_.seconds / 10.0, 5.0, 180.0);
}

bool SoakRun::Prepare() {
    std::string pattern = (fs::temp_directory_path() / "vs5soak-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return false;
    path_ = pattern;
    std::string error;
    if (!MakeImages(path_ + "/photos", images_, error)) {
        Check("test images made", false, error);
        return false;
    }
    folder_ =
        std::make_unique<ServerFolder>(path_, options_.binFolder, FreePort(), options_.ioThreads);
    server_ = std::make_unique<ServerProcess>(*folder_);
    if (!server_->Start(error)) {
        Check("server started", false, error.append("\n").append(server_->OutputTail()));
        return false;
    }
    descriptors_.start = SettledDescriptors();
    descriptors_.startList = DescribeDescriptors(server_->pid());
    firstWorkers_ = WorkersOf(server_->pid()).size();
    workersStarted_ += firstWorkers_;
    if (auto m = ReadMemory(server_->pid()))
        memory_.serverStart = m->rssKb;
    printf("soak: folder %s, port %u, server pid %d, %zu photos, %zu hostile files\n",
           path_.c_str(), folder_->port(), server_->pid(), images_.photos.size(),
           images_.hostile.size());
    fflush(stdout);
    return true;
}

int SoakRun::Run() {
    if (!Prepare()) {
        for (const std::string& c : checks_)
            printf("%s\n", c.c_str());
        return 1;
    }
    begin_ = std::chrono::steady_clock::now();
    TrafficSetup setup;
    setup.port = folder_->port();
    setup.images = &images_;
    setup.missingFolder = path_ + "/photos/none";
    setup.connections = options_.connections;
    setup.deadline = begin_ + std::chrono::seconds(options_.seconds);
    Traffic traffic(setup);
    traffic.Start();
    Drive(traffic);
    Tally tally = traffic.Finish();
    const double end =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
    restartTimes_.push_back(end);
    if (!serverDied_) {
        if (auto m = ReadMemory(server_->pid()))
            memory_.serverEnd = m->rssKb;
        for (pid_t w : WorkersOf(server_->pid()))
            if (auto m = ReadMemory(w))
                memory_.workersEnd.push_back(m->rssKb);
        descriptors_.end = WaitForDescriptors(descriptors_.restartStart);
        CheckWorkers();
        CrashAndCheckCache(tally);
    }
    PrintSummary(tally);
    return failed_ ? 1 : 0;
}

void SoakRun::Drive(Traffic& traffic) {
    const auto deadline = begin_ + std::chrono::seconds(options_.seconds);
    nextIni_ = options_.iniEvery;
    nextKill_ = options_.killEvery;
    // The controller ticks until the clients' deadline; every step is bounded.
    while (std::chrono::steady_clock::now() < deadline) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
        if (!ServerAlive())
            return;
        if (!restarted_ && elapsed >= options_.seconds / 2.0) {
            restarted_ = true;
            if (!RestartCleanly(traffic, elapsed))
                return;
            continue;
        }
        Tick(elapsed);
        Sleep(250);
    }
}

bool SoakRun::ServerAlive() {
    int status = 0;
    if (server_->Alive(status))
        return true;
    serverDied_ = true;
    const bool dump = fs::exists(folder_->File("vistrel5.dmp"));
    Check("server stayed up", false,
          "vistrel5 ended (" + DescribeWaitStatus(status) + ")" +
              (dump ? ", vistrel5.dmp written\n" : "\n") + server_->OutputTail());
    return false;
}

void SoakRun::Tick(double elapsed) {
    if (elapsed >= nextSample_) {
        SampleMemory(elapsed);
        nextSample_ = elapsed + 1;
    }
    if (elapsed >= nextIni_) {
        folder_->WriteIni(++iniWrites_);
        nextIni_ += options_.iniEvery;
    }
    if (elapsed >= nextKill_) {
        if (elapsed < options_.seconds - kKillMargin)
            KillOneWorker(elapsed);
        nextKill_ += options_.killEvery;
    }
    if (elapsed >= nextReport_) {
        const int fds = CountDescriptors(server_->pid());
        printf("soak: %5.0f s  server RSS %llu KiB  workers %zu  descriptors %d\n", elapsed,
               static_cast<unsigned long long>(ReadMemory(server_->pid()).value_or(Memory{}).rssKb),
               WorkersOf(server_->pid()).size(), fds);
        fflush(stdout);
        nextReport_ = elapsed + std::max(10, options_.seconds / 30);
    }
}

void SoakRun::SampleMemory(double elapsed) {
    const bool warm = elapsed < WarmupSeconds();
    if (auto m = ReadMemory(server_->pid())) {
        uint64_t& figure = warm ? memory_.serverWarmPeak : memory_.serverMaxAfter;
        figure = std::max(figure, m->rssKb);
    }
    // A worker's peak shows the largest image it held, also between samples.
    for (pid_t w : WorkersOf(server_->pid()))
        if (auto m = ReadMemory(w)) {
            uint64_t& figure = warm ? memory_.workerWarmPeak : memory_.workerMaxAfter;
            figure = std::max(figure, m->peakKb);
        }
}

void SoakRun::KillOneWorker(double elapsed) {
    std::vector<pid_t> workers = WorkersOf(server_->pid());
    if (workers.empty())
        return;
    kill(workers[killTimes_.size() % workers.size()], SIGKILL);
    killTimes_.push_back(elapsed);
}

int SoakRun::SettledDescriptors() {
    // The same count three times in a row, a tenth of a second apart.
    int last = -2, same = 0, count = -1;
    for (int i = 0; i < 100 && same < 3; ++i, Sleep(100)) {
        count = CountDescriptors(server_->pid());
        same = count == last ? same + 1 : 1;
        last = count;
    }
    return count;
}

int SoakRun::WaitForDescriptors(int expected) {
    // Closed connections are noticed by the server's loop a moment later.
    int count = -1;
    for (int i = 0; i < 200; ++i, Sleep(100)) {
        count = CountDescriptors(server_->pid());
        if (count == expected)
            break;
    }
    if (count != expected) {
        printf("soak: descriptors now (start count %d):\n", expected);
        for (const std::string& d : DescribeDescriptors(server_->pid()))
            printf("  %s\n", d.c_str());
    }
    return count;
}

}  // namespace Soak
