// soak: drives a real vistrel5 with its workers for a while, killing workers,
// rewriting its INI file, restarting it cleanly half-way and crashing it at
// the end, and checks that nothing was lost or corrupted, that it did not
// crash, that its memory and descriptors stayed bounded, that its logs are
// sound and that its result cache survived the crash.
//   soak [--seconds N | --minutes N] [--connections N] [--kill-every S] [--ini-every S]
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "soak/soak.h"
#include "support/temp_dir.h"
#include "support/text_count.h"

namespace Soak {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Memory may grow to this multiple of its peak during the warm-up.
constexpr uint64_t kGrowthFactor = 3;
// Seconds of traffic a thread whose worker was killed needs to start a new
// one before the server restarts or the run ends.
constexpr double kKillMargin = 4;

struct Options {
    int seconds = 1800, connections = 64, killEvery = 60, iniEvery = 5;
};

void Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool ExitedWithZero(const std::optional<int>& status) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

class SoakRun {
public:
    explicit SoakRun(const Options& options) : o_(options) {}
    ~SoakRun() {
        server_.reset();  // kills a server still running
        std::error_code ec;
        if (!failed_)
            fs::remove_all(path_, ec);
    }
    int Run();

private:
    bool Check(const std::string& name, bool ok, const std::string& detail = "") {
        printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.empty() ? "" : ": ",
               detail.c_str());
        failed_ = failed_ || !ok;
        return ok;
    }
    double Elapsed() const { return std::chrono::duration<double>(Clock::now() - begin_).count(); }
    double Warmup() const { return std::clamp(o_.seconds / 10.0, 5.0, 180.0); }
    bool Prepare();
    void Drive(Traffic& traffic);
    void Tick(double elapsed);
    bool StillUp();
    void Restart(Traffic& traffic, double elapsed);
    int SettledDescriptors();
    void CheckDescriptors(const std::string& when, int& count, int expected);
    void CheckWorkers(const std::string& requestLog);
    void CrashAndCheckCache(const Tally& tally);
    void CheckLogs(const Tally& tally);
    void PrintFigures(const Tally& tally);

    const Options o_;
    std::string path_;
    ImageSet images_;
    std::unique_ptr<Server> server_;
    Clock::time_point begin_;
    uint64_t serverWarm_ = 0, serverAfter_ = 0, workerWarm_ = 0, workerAfter_ = 0;
    int fdStart_ = -1, fdMid_ = -1, fdRestart_ = -1, fdEnd_ = -1;
    std::vector<double> kills_, restarts_;  // the mid-run restart, then the end of traffic
    size_t workersStarted_ = 0;             // workers alive right after each start
    int iniWrites_ = 0, cleanStops_ = 0;
    size_t cacheEntries_ = 0;
    bool restarted_ = false, died_ = false, failed_ = false;
};

bool SoakRun::Prepare() {
    std::string pattern = (fs::temp_directory_path() / "vs5soak-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : "";
    if (!Check("test images made", !path_.empty() && MakeImages(path_ + "/photos", images_)))
        return false;
    server_ = std::make_unique<Server>(path_, FreePort());
    std::string error;
    if (!Check("server started", server_->Start(error), error + "\n" + server_->Tail()))
        return false;
    fdStart_ = SettledDescriptors();
    workersStarted_ = WorkersOf(server_->pid()).size();
    printf("soak: %d s in %s, port %u, %zu workers, %zu photos, %zu hostile files\n", o_.seconds,
           path_.c_str(), server_->port, workersStarted_, images_.photos.size(),
           images_.hostile.size());
    return true;
}

int SoakRun::Run() {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (!Prepare())
        return 1;
    begin_ = Clock::now();
    Traffic traffic(server_->port, images_, path_ + "/photos/none", o_.connections,
                    begin_ + std::chrono::seconds(o_.seconds));
    Drive(traffic);
    const Tally tally = traffic.Finish();
    restarts_.push_back(Elapsed());
    if (!died_) {
        CheckDescriptors("at the end", fdEnd_, fdRestart_ >= 0 ? fdRestart_ : fdStart_);
        CheckWorkers(server_->Logs(false));
        CrashAndCheckCache(tally);
        CheckLogs(tally);
        Check("server RSS within 3x its warm-up peak", serverAfter_ <= kGrowthFactor * serverWarm_,
              std::to_string(serverAfter_) + " KiB after " + std::to_string(serverWarm_));
        Check("worker RSS within 3x their warm-up peak",
              workerAfter_ <= kGrowthFactor * workerWarm_,
              std::to_string(workerAfter_) + " KiB after " + std::to_string(workerWarm_));
    }
    PrintFigures(tally);
    printf("result: %s%s\n", failed_ ? "FAIL, folder kept: " : "PASS",
           failed_ ? path_.c_str() : "");
    return failed_ ? 1 : 0;
}

void SoakRun::Drive(Traffic& traffic) {
    // Kills fall between the restart and the end, not on them.
    double nextIni = o_.iniEvery, nextKill = o_.killEvery / 2.0, nextReport = 0;
    while (Clock::now() < traffic.deadline && StillUp()) {
        const double elapsed = Elapsed();
        if (!restarted_ && elapsed >= o_.seconds / 2.0) {
            Restart(traffic, elapsed);
            continue;
        }
        Tick(elapsed);
        if (elapsed >= nextIni) {
            server_->WriteIni(++iniWrites_);
            nextIni += o_.iniEvery;
        }
        if (elapsed >= nextKill) {
            const std::vector<pid_t> workers = WorkersOf(server_->pid());
            const double before = restarted_ ? o_.seconds : o_.seconds / 2.0;
            if (elapsed < before - kKillMargin && !workers.empty()) {
                kill(workers[kills_.size() % workers.size()], SIGKILL);
                kills_.push_back(elapsed);
            }
            nextKill += o_.killEvery;
        }
        if (elapsed >= nextReport) {
            printf("soak: %5.0f s  server RSS %llu KiB  workers %zu  descriptors %d\n", elapsed,
                   (unsigned long long)MemoryKb(server_->pid(), "VmRSS"),
                   WorkersOf(server_->pid()).size(), Descriptors(server_->pid()));
            nextReport = elapsed + std::max(10, o_.seconds / 30);
        }
        Sleep(250);
    }
}

// Samples memory: a worker's peak shows the largest image it held, also
// between samples.
void SoakRun::Tick(double elapsed) {
    const bool warm = elapsed < Warmup();
    uint64_t& server = warm ? serverWarm_ : serverAfter_;
    server = std::max(server, MemoryKb(server_->pid(), "VmRSS"));
    for (pid_t w : WorkersOf(server_->pid())) {
        uint64_t& worker = warm ? workerWarm_ : workerAfter_;
        worker = std::max(worker, MemoryKb(w, "VmHWM"));
    }
}

bool SoakRun::StillUp() {
    int status = 0;
    if (server_->Alive(status))
        return true;
    died_ = true;
    return Check(
        "server stayed up", false,
        "vistrel5 ended (" + DescribeStatus(status) + ")" +
            (fs::exists(server_->File("vistrel5.dmp")) ? ", vistrel5.dmp written\n" : "\n") +
            server_->Tail());
}

void SoakRun::Restart(Traffic& traffic, double elapsed) {
    restarted_ = true;
    // Every client finishes its request and closes its connection first, so
    // that the clean stop is not mistaken for unanswered requests.
    if (Check("clients parked for the mid-run restart", traffic.Park(std::chrono::seconds(400)))) {
        CheckDescriptors("mid-run", fdMid_, fdStart_);
        const std::optional<int> status = server_->Stop();
        cleanStops_ += ExitedWithZero(status) ? 1 : 0;
        Check("clean stop mid-run", ExitedWithZero(status),
              DescribeStatus(status) + (ExitedWithZero(status) ? "" : "\n" + server_->Tail()));
        const size_t saved = ReadIndex(server_->File("Cache/index.dat")).size();
        Check("index.dat written by the clean stop", saved > 0, std::to_string(saved) + " entries");
        std::string error;
        died_ = !Check("server restarted mid-run", server_->Start(error), error);
        if (!died_) {
            fdRestart_ = SettledDescriptors();
            workersStarted_ += WorkersOf(server_->pid()).size();
            restarts_.push_back(elapsed);
        }
    }
    traffic.Resume();
}

// Once every worker is connected (a socket each, beside the listener) and
// the count has held for a second.
int SoakRun::SettledDescriptors() {
    int last = -2, same = 0, count = -1, sockets = 0;
    for (int i = 0; i < 600 && same < 10; ++i, Sleep(100)) {
        count = Descriptors(server_->pid(), &sockets);
        const bool ready = sockets == 1 + static_cast<int>(WorkersOf(server_->pid()).size());
        same = ready ? (count == last ? same + 1 : 1) : 0;
        last = count;
    }
    return count;
}

// With no client connected, the server holds what it held after its start;
// closed connections are noticed by its loop a moment later.
void SoakRun::CheckDescriptors(const std::string& when, int& count, int expected) {
    for (int i = 0; i < 200 && (count = Descriptors(server_->pid())) != expected; ++i)
        Sleep(100);
    Check("descriptors back to the start count " + when, count == expected,
          std::to_string(count) + " for " + std::to_string(expected) +
              (count == expected ? "" : DescribeDescriptors(server_->pid())));
}

// A kill shortly before a restart or the end may not be followed by a
// request on that thread, and its worker is then not replaced.
void SoakRun::CheckWorkers(const std::string& requestLog) {
    const size_t created = vstest::CountOf(requestLog, "is created successfully");
    size_t replaced = 0;
    for (double at : kills_) {
        auto next = std::upper_bound(restarts_.begin(), restarts_.end(), at);
        replaced += next != restarts_.end() && *next - at >= kKillMargin ? 1 : 0;
    }
    Check("killed workers replaced (request log)", created >= workersStarted_ + replaced,
          std::to_string(created) + " worker starts logged for " + std::to_string(workersStarted_) +
              " at server starts and " + std::to_string(replaced) + " kills followed by traffic");
}

void SoakRun::CrashAndCheckCache(const Tally& tally) {
    server_->Kill();
    std::string error;
    if (!Check("server restarted after SIGKILL", server_->Start(error), error))
        return;
    std::string problems;
    for (const std::string& p : CheckCache(*server_, tally.answers, cacheEntries_))
        problems += "\n    " + p;
    Check("cache index, files and repeated GETs agree after SIGKILL and restart",
          cacheEntries_ > 0 && problems.empty(),
          std::to_string(cacheEntries_) + " entries" + problems.substr(0, 2000));
    const std::optional<int> status = server_->Stop();
    cleanStops_ += ExitedWithZero(status) ? 1 : 0;
    Check("clean stop at the end", ExitedWithZero(status),
          DescribeStatus(status) + (ExitedWithZero(status) ? "" : "\n" + server_->Tail()));
}

// Every line starts with its time and ends with CR LF (no line torn by
// writers on other threads), every answered request has its line, and the
// service events are there.
void SoakRun::CheckLogs(const Tally& tally) {
    std::string log = server_->Logs(false);
    uint64_t answered = 0, lines = 0, torn = 0;
    for (const auto& [category, counts] : tally.statuses)
        for (const auto& [status, count] : counts)
            answered += status != kNoAnswer && category.find("bad") == std::string::npos &&
                                category != "EXEC2 release"
                            ? count
                            : 0;
    std::string sample;
    for (size_t at = 0, end; at < log.size(); at = end + 2) {
        end = log.find("\r\n", at);
        at += log.compare(at, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        const std::string line = log.substr(at, end - at);
        const bool timed = line.size() > 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ';
        if (!timed || end == std::string::npos) {
            sample = torn++ ? sample : "\n    " + line.substr(0, 200);
            end = end == std::string::npos ? log.size() : end;
        }
        lines += timed && line[9] != '#' ? 1 : 0;
    }
    Check("request log lines well formed", torn == 0, std::to_string(torn) + " torn" + sample);
    Check("a request log line for every answered request", lines >= answered,
          std::to_string(lines) + " lines for " + std::to_string(answered) + " answers");
    Check("a stop line for every clean stop",
          vstest::CountOf(log, "# Service stopped successfully.") ==
              static_cast<size_t>(cleanStops_));
    const size_t reloads =
        vstest::CountOf(server_->Logs(true), "INI file has changed and reloaded");
    Check("INI rewrites noticed (system log)", reloads * 2 >= static_cast<size_t>(iniWrites_),
          std::to_string(reloads) + " reloads for " + std::to_string(iniWrites_) + " rewrites");
}

float Percentile(std::vector<float> values, double fraction) {
    if (values.empty())
        return 0;
    const auto at = values.begin() + static_cast<long>(values.size() * fraction);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

void SoakRun::PrintFigures(const Tally& tally) {
    uint64_t total = 0, unanswered = 0;
    printf("requests by category and status (%d connections):\n", o_.connections);
    for (const auto& [category, counts] : tally.statuses) {
        std::string line;
        for (const auto& [status, count] : counts) {
            total += count;
            unanswered += status == kNoAnswer ? count : 0;
            line += " " + (status == kNoAnswer ? "none" : std::to_string(status)) + ":" +
                    std::to_string(count);
        }
        printf("  %-14s%s\n", category.c_str(), line.c_str());
    }
    printf("latency of %zu answers: p50 %.1f ms, p99 %.1f ms\n", tally.latencyMs.size(),
           Percentile(tally.latencyMs, 0.5), Percentile(tally.latencyMs, 0.99));
    printf("RSS KiB: server %llu in the warm-up (%.0f s), %llu after; worker peak %llu, %llu\n",
           (unsigned long long)serverWarm_, Warmup(), (unsigned long long)serverAfter_,
           (unsigned long long)workerWarm_, (unsigned long long)workerAfter_);
    printf("descriptors: start %d, mid-run %d, after the restart %d, end %d\n", fdStart_, fdMid_,
           fdRestart_, fdEnd_);
    printf("%zu workers killed, %d INI rewrites, %zu cache entries after the crash\n",
           kills_.size(), iniWrites_, cacheEntries_);
    Check("every request answered", total > 0 && unanswered == 0,
          std::to_string(total - unanswered) + " of " + std::to_string(total));
    std::string samples;
    for (const std::string& s : tally.samples)
        samples += "\n    " + s;
    Check("every answer as expected and GET results stable", tally.failures == 0,
          std::to_string(tally.failures) + " unexpected" + samples);
}

// --seconds N, --minutes N, --connections N, --kill-every S, --ini-every S.
bool Parse(int argc, char** argv, Options& o) {
    const std::map<std::string, std::pair<int*, int>> flags = {
        {"--seconds", {&o.seconds, 1}},
        {"--minutes", {&o.seconds, 60}},
        {"--connections", {&o.connections, 1}},
        {"--kill-every", {&o.killEvery, 1}},
        {"--ini-every", {&o.iniEvery, 1}}};
    for (int i = 1; i + 1 < argc; i += 2) {
        const auto it = flags.find(argv[i]);
        const int n = atoi(argv[i + 1]);
        if (it == flags.end() || n <= 0 || n > 1000000)
            return false;
        *it->second.first = n * it->second.second;
    }
    return argc % 2 == 1;
}

}  // namespace
}  // namespace Soak

int main(int argc, char** argv) {
    Soak::Options options;
    if (!Soak::Parse(argc, argv, options)) {
        fprintf(stderr,
                "usage: soak [--seconds N | --minutes N] [--connections N] "
                "[--kill-every S] [--ini-every S]\n");
        return 2;
    }
    return Soak::SoakRun(options).Run();
}
