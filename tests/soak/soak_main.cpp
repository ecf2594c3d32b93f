// soak: drives a real vistrel5 with its workers for a while, killing workers,
// rewriting its INI file, restarting it cleanly half-way and crashing it at
// the end, and checks that nothing was lost or corrupted, that it did not
// crash, that its memory and descriptors stayed bounded, that its logs are
// sound and that its result cache survived the crash.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "soak/soak_traffic.h"
#include "support/child_process.h"
#include "support/text_count.h"

namespace Soak {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::to_string;
using namespace std::string_literals;

constexpr uint64_t kGrowthFactor = 3;  // memory may grow to this multiple of its warm-up peak
// Seconds of traffic a thread whose worker was killed needs to start a new
// one before the server restarts or the run ends.
constexpr double kKillMargin = 4;

struct Options {
    int seconds = 1800, connections = 64, killEvery = 60, iniEvery = 5;
};

void Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string Describe(const std::optional<int>& status) {
    return !status                ? "no exit within the time-out"
           : WIFSIGNALED(*status) ? "signal " + to_string(WTERMSIG(*status))
                                  : "exit " + to_string(WEXITSTATUS(*status));
}

// A /proc/PID/status figure in KiB ("VmRSS", "VmHWM"); 0 once the process is gone.
uint64_t MemoryKb(pid_t pid, const std::string& field) {
    const std::string text = vstest::ReadFile("/proc/" + to_string(pid) + "/status");
    const size_t at = text.find("\n" + field + ":");
    return at == std::string::npos ? 0 : std::strtoull(&text[at + field.size() + 2], nullptr, 10);
}

// What the open descriptors refer to ("socket:[...]" for a socket).
std::vector<std::string> Descriptors(pid_t pid) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc/" + to_string(pid) + "/fd", ec))
        out.push_back(fs::read_symlink(e.path(), ec).string());
    return out;
}

std::vector<pid_t> WorkersOf(pid_t server) {
    std::vector<pid_t> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        std::ifstream stat(e.path() / "stat");
        std::string pid, name, state, parent;
        if (stat >> pid >> name >> state >> parent && name == "(vistrelremt)" &&
            parent == to_string(server))
            out.push_back(std::stoi(pid));
    }
    return out;
}

uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// Cache/index.dat: UTF-8 with a byte-order mark, CR LF lines "key,path,size".
std::vector<std::pair<std::string, uint64_t>> ReadIndex(const std::string& indexFile) {
    std::istringstream text(vstest::ReadFile(indexFile));
    std::vector<std::pair<std::string, uint64_t>> entries;
    for (std::string line; std::getline(text, line);) {
        const size_t first = line.find(','), last = line.rfind(',');
        if (first != std::string::npos && last != first)
            entries.emplace_back(line.substr(first + 1, last - first - 1),
                                 std::strtoull(&line[last + 1], nullptr, 10));
    }
    return entries;
}

class SoakRun {
public:
    explicit SoakRun(const Options& options) : o_(options) {}
    ~SoakRun() {
        Stop(SIGKILL);
        std::error_code ec;
        if (!failed_)
            fs::remove_all(path_, ec);
    }

private:
    bool Check(const std::string& name, bool ok, const std::string& detail = "") {
        printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.empty() ? "" : ": ",
               detail.c_str());
        failed_ = failed_ || !ok;
        return ok;
    }
    double Elapsed() const { return std::chrono::duration<double>(Clock::now() - begin_).count(); }
    double Warmup() const { return std::clamp(o_.seconds / 10.0, 5.0, 180.0); }
    pid_t pid() const { return server_->pid(); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string Tail() const {
        const std::string text = vstest::ReadFile(File("output-" + to_string(starts_) + ".txt"));
        return "\n" + text.substr(text.size() > 2000 ? text.size() - 2000 : 0);
    }

    // The cache limit is far above what the soak's bounded set of results takes:
    // nothing is evicted, so the cache check after the crash is exact. The file
    // is rewritten in place, as an editor saves it.
    void WriteIni(int variant) {
        vstest::WriteFile(File("vistrel5.ini"),
                          "[Server]\r\nPort=" + to_string(port_) +
                              "\r\nAccessPermit=127.0.0.1;\r\nEngineWorkprocessCount=4\r\n"
                              "MaxCacheSize=1024\r\nCacheSubFolders=8\r\nKeepLogDay=" +
                              (variant % 2 ? "31" : "30") + "\r\n[ImageProcessing]\r\n" +
                              "ImageJpegQuality=" + (variant % 3 ? "85" : "90") + "\r\n");
    }

    // Starts vistrel5 -debug; it is ready when it answers an unknown verb (100).
    bool Start(const std::string& when) {
        ended_.reset();
        server_ = std::make_unique<vstest::ChildProcess>(
            std::vector<std::string>{File("vistrel5"), "-debug"},
            File("output-" + to_string(++starts_) + ".txt"),
            // In sanitizer builds freed memory waits in a quarantine, which
            // would read as growth; without a sanitizer this has no effect.
            std::vector<std::string>{"ASAN_OPTIONS=quarantine_size_mb=16"});
        for (int i = 0; i < 450 && StillUp(); ++i, Sleep(200)) {
            VsClient::Connection c;
            VsClient::Response r;
            if (c.Connect("127.0.0.1", port_, 5000) &&
                c.Request(VsClient::BuildRequestFrame("SOAKPING", 400, {}), r) && r.status == 100)
                return Check("server started " + when, true);
        }
        return Check("server started " + when, false, "no answer within 90 s" + Tail());
    }

    // The wait status, or nothing when SIGTERM did not end it and it was killed.
    std::optional<int> Stop(int signal) {
        if (server_ && !ended_) {
            server_->Signal(signal);
            ended_ = server_->WaitExit(std::chrono::seconds(signal == SIGTERM ? 120 : 30));
            if (!ended_)
                return Stop(SIGKILL), std::nullopt;
        }
        return ended_;
    }

    bool StillUp() {
        // A reaped child is never waited for again: its number may be reused.
        if (!ended_ && !(ended_ = server_->WaitExit(std::chrono::milliseconds(1))))
            return true;
        return Check("server stayed up", false,
                     "vistrel5 ended (" + Describe(ended_) + ")" +
                         (fs::exists(File("vistrel5.dmp")) ? ", vistrel5.dmp written" : "") +
                         Tail());
    }

public:
    int Run() {
        setvbuf(stdout, nullptr, _IOLBF, 0);
        std::string pattern = (fs::temp_directory_path() / "vs5soak-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : "";
        if (!Check("test images made", !path_.empty() && MakeImages(File("photos"), images_)))
            return 1;
        const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
        for (const char* program : {"vistrel5", "vistrelremt"})
            fs::copy_file(bin / program, File(program));
        WriteIni(0);
        if (!Start("at first"))
            return 1;
        fdStart_ = SettledDescriptors();
        workersStarted_ = WorkersOf(pid()).size();
        printf("soak: %d s in %s, port %u, %zu workers, %zu photos, %zu hostile files\n",
               o_.seconds, path_.c_str(), port_, workersStarted_, images_.photos.size(),
               images_.hostile.size());
        // Two halves of traffic with a clean restart between them; each half
        // ends once its clients have their last answers. The times of the run
        // (Elapsed) are traffic times: the restart does not count.
        for (int half = 1; half <= 2 && !ended_ && (half == 1 || Restart()); ++half) {
            const std::chrono::milliseconds halfTime(500 * o_.seconds);
            begin_ = Clock::now() - (half - 1) * halfTime;
            const Clock::time_point end = begin_ + half * halfTime;
            {
                std::vector<std::jthread> clients;  // joined at the end of the block
                for (int i = 0; i < o_.connections; ++i)
                    clients.emplace_back([&, i] { Client(port_, images_, tally_, i, end).Run(); });
                Drive(end);
            }
            restarts_.push_back(o_.seconds * half / 2.0);
        }
        if (!ended_) {
            CheckDescriptors("at the end", fdRestart_ >= 0 ? fdRestart_ : fdStart_);
            CheckWorkers();
            CheckCache(tally_);
            CheckLogs(tally_);
            for (auto [who, after, warm] : {std::tuple{"server", serverAfter_, serverWarm_},
                                            {"worker", workerAfter_, workerWarm_}})
                Check(who + " RSS within 3x the warm-up peak"s, after <= kGrowthFactor * warm,
                      to_string(after) + " KiB after " + to_string(warm));
        }
        PrintFigures(tally_);
        printf("result: %s%s\n", failed_ ? "FAIL, folder kept: " : "PASS",
               failed_ ? path_.c_str() : "");
        return failed_ ? 1 : 0;
    }

private:
    // Samples memory every tick: a worker's peak shows the largest image it
    // held, also between samples. Kills fall half a period off the restart.
    void Drive(Clock::time_point end) {
        const double stop = std::chrono::duration<double>(end - begin_).count();
        for (; Clock::now() < end && StillUp(); Sleep(250)) {
            const double elapsed = Elapsed();
            const bool warm = elapsed < Warmup();
            uint64_t &server = warm ? serverWarm_ : serverAfter_,
                     &worker = warm ? workerWarm_ : workerAfter_;
            server = std::max(server, MemoryKb(pid(), "VmRSS"));
            for (pid_t w : WorkersOf(pid()))
                worker = std::max(worker, MemoryKb(w, "VmHWM"));
            if (elapsed >= nextIni_)
                WriteIni(++iniWrites_), nextIni_ += o_.iniEvery;
            if (elapsed >= nextKill_) {
                const std::vector<pid_t> workers = WorkersOf(pid());
                if (elapsed < stop - kKillMargin && !workers.empty())
                    kill(workers[kills_.size() % workers.size()], SIGKILL),
                        kills_.push_back(elapsed);
                nextKill_ += o_.killEvery;
            }
        }
    }

    // With every client gone: a clean stop, which saves the cache index, and a start.
    bool Restart() {
        CheckDescriptors("mid-run", fdStart_);
        const std::optional<int> status = Stop(SIGTERM);
        if (Check("clean stop mid-run", status == 0, Describe(status)))
            ++cleanStops_;
        const size_t saved = ReadIndex(File("Cache/index.dat")).size();
        Check("index.dat written by the clean stop", saved > 0, to_string(saved) + " entries");
        if (!Start("again mid-run"))
            return false;
        fdRestart_ = SettledDescriptors();
        workersStarted_ += WorkersOf(pid()).size();
        return true;
    }

    // Once every worker is connected (a socket each, beside the listener) and
    // the count has held for a second.
    int SettledDescriptors() {
        int last = -2, same = 0, count = -1;
        for (int i = 0; i < 600 && same < 10; ++i, Sleep(100)) {
            const std::vector<std::string> fds = Descriptors(pid());
            count = static_cast<int>(fds.size());
            const bool ready = std::count_if(fds.begin(), fds.end(), [](const std::string& f) {
                                   return f.starts_with("socket:");
                               }) == 1 + static_cast<long>(WorkersOf(pid()).size());
            same = ready ? (count == last ? same + 1 : 1) : 0;
            last = count;
        }
        return count;
    }

    // With no client connected, the server holds what it held after its start;
    // closed connections are noticed by its loop a moment later.
    void CheckDescriptors(const std::string& when, int expected) {
        std::vector<std::string> fds;
        for (int i = 0; i < 200 && int((fds = Descriptors(pid())).size()) != expected; ++i)
            Sleep(100);
        const bool ok = int(fds.size()) == expected;
        std::string detail = to_string(fds.size()) + " for " + to_string(expected);
        for (const std::string& f : fds)
            detail += ok ? "" : "\n    " + f;
        Check("descriptors back to the start count " + when, ok, detail);
    }

    // A kill shortly before a restart or the end may not be followed by a
    // request on that thread, and its worker is then not replaced.
    void CheckWorkers() {
        const size_t created =
            vstest::CountOf(vstest::JoinedLogs(File("LogFiles"), false), "is created successfully");
        size_t replaced = 0;
        for (double at : kills_) {
            auto next = std::upper_bound(restarts_.begin(), restarts_.end(), at);
            replaced += next != restarts_.end() && *next - at >= kKillMargin ? 1 : 0;
        }
        Check("killed workers replaced (request log)", created >= workersStarted_ + replaced,
              to_string(created) + " worker starts logged for " + to_string(workersStarted_) +
                  " at server starts and " + to_string(replaced) + " kills followed by traffic");
    }

    // After a crash and a restart every listed file exists at its listed size, it
    // is a result a GET of the soak was given, and that GET answers it again.
    void CheckCache(const Tally& tally) {
        Stop(SIGKILL);
        if (!Start("after SIGKILL"))
            return;
        std::map<std::string, std::string> requestOf;  // path -> "source\ncommand"
        for (const auto& [request, path] : tally.answers)
            requestOf.emplace(path, request);
        const auto index = ReadIndex(File("Cache/index.dat"));
        std::string problems;
        VsClient::Connection c;
        for (const auto& [path, size] : index) {
            std::error_code ec;
            const std::string onDisk = to_string(fs::file_size(path, ec));
            const auto it = requestOf.find(path);
            const size_t split = it == requestOf.end() ? 0 : it->second.find('\n');
            VsClient::Response r;
            std::string answer;
            if (ec || onDisk != to_string(size))
                problems += "\n    listed at " + to_string(size) + " bytes, on disk " +
                            (ec ? "missing" : onDisk) + ": " + path;
            else if (it == requestOf.end())
                problems += "\n    listed, but no GET of the soak was given it: " + path;
            else if (!(c.connected() || c.Connect("127.0.0.1", port_, 120000)) ||
                     !c.Request(VsClient::BuildGetFrame(it->second.substr(0, split),
                                                        it->second.substr(split + 1)),
                                r) ||
                     !VsClient::PayloadBareText(r, 400, 0, answer) || answer != path)
                problems += "\n    a repeated GET answered " + to_string(r.status) + " " + answer +
                            " instead of " + path + (c.Close(), "");
        }
        Check("cache index, files and repeated GETs agree after SIGKILL and restart",
              !index.empty() && problems.empty(),
              to_string(index.size()) + " entries" + problems.substr(0, 2000));
        const std::optional<int> status = Stop(SIGTERM);
        if (Check("clean stop at the end", status == 0,
                  Describe(status) + (status == 0 ? "" : Tail())))
            ++cleanStops_;
    }

    // Every line starts with its time and ends with CR LF (no line torn by
    // writers on other threads), every answered request has its line, and the
    // service events are there.
    void CheckLogs(const Tally& tally) {
        const std::string log = vstest::JoinedLogs(File("LogFiles"), false);
        uint64_t answered = 0, lines = 0, torn = 0;
        for (const auto& [category, counts] : tally.statuses)
            for (const auto& [status, count] : counts)
                if (status != kNoAnswer && category.rfind("bad", 0) != 0 &&
                    category != "EXEC2 release")
                    answered += count;
        std::string sample;
        for (size_t at = 0, end = 0; at < log.size(); at = end + 2) {
            end = std::min(log.find("\r\n", at), log.size());
            at += log.compare(at, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
            const std::string line = log.substr(at, end - at);
            const bool timed =
                line.size() > 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ';
            if (!timed || end == log.size())
                sample += torn++ < 3 ? "\n    " + line.substr(0, 200) : "";
            lines += timed && line[9] != '#' ? 1 : 0;
        }
        Check("request log lines well formed", torn == 0, to_string(torn) + " torn" + sample);
        Check("a request log line for every answered request", lines >= answered,
              to_string(lines) + " lines for " + to_string(answered) + " answers");
        Check("a stop line for every clean stop",
              vstest::CountOf(log, "# Service stopped successfully.") == size_t(cleanStops_));
        const size_t reloads = vstest::CountOf(vstest::JoinedLogs(File("LogFiles"), true),
                                               "INI file has changed and reloaded");
        Check("INI rewrites noticed (system log)", reloads * 2 >= size_t(iniWrites_),
              to_string(reloads) + " reloads for " + to_string(iniWrites_) + " rewrites");
    }

    void PrintFigures(const Tally& tally) {
        uint64_t total = 0, unanswered = 0;
        printf("requests by category and status (%d connections):\n", o_.connections);
        for (const auto& [category, counts] : tally.statuses) {
            std::string line;
            for (const auto& [status, count] : counts) {
                total += count;
                unanswered += status == kNoAnswer ? count : 0;
                line += " " + (status == kNoAnswer ? "none" : to_string(status)) + ":" +
                        to_string(count);
            }
            printf("  %-14s%s\n", category.c_str(), line.c_str());
        }
        std::vector<float> ms = tally.latencyMs;
        std::sort(ms.begin(), ms.end());
        printf("latency: p50 %.0f ms, p99 %.0f ms\n", ms.empty() ? 0 : ms[ms.size() / 2],
               ms.empty() ? 0 : ms[ms.size() * 99 / 100]);
        Check("every request answered", total > 0 && unanswered == 0,
              to_string(total - unanswered) + " of " + to_string(total));
        std::string samples;
        for (const std::string& s : tally.samples)
            samples += "\n    " + s;
        Check("every answer as expected and GET results stable", tally.failures == 0,
              to_string(tally.failures) + " unexpected" + samples);
    }

    const Options o_;
    std::string path_;
    uint16_t port_ = FreePort();
    ImageSet images_;
    std::unique_ptr<vstest::ChildProcess> server_;
    std::optional<int> ended_;  // the wait status once the server is reaped
    int starts_ = 0, iniWrites_ = 0, cleanStops_ = 0;
    Clock::time_point begin_;
    uint64_t serverWarm_ = 0, serverAfter_ = 0, workerWarm_ = 0, workerAfter_ = 0;
    int fdStart_ = -1, fdRestart_ = -1;
    std::vector<double> kills_, restarts_;  // the mid-run restart, then the end of traffic
    size_t workersStarted_ = 0;
    double nextIni_ = o_.iniEvery, nextKill_ = o_.killEvery / 2.0;
    Tally tally_;
    bool failed_ = false;
};

// --seconds N (or --minutes N), --connections N, --kill-every S, --ini-every S.
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
    if (Soak::Parse(argc, argv, options))
        return Soak::SoakRun(options).Run();
    fputs(
        "usage: soak [--seconds N | --minutes N] [--connections N] [--kill-every S] "
        "[--ini-every S]\n",
        stderr);
    return 2;
}
