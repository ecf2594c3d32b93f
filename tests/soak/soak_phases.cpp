// The soak's restarts, its after-the-fact checks and the summary.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "soak/soak_run.h"

namespace Soak {

namespace fs = std::filesystem;

namespace {

bool ExitedWithZero(const std::optional<int>& status) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

std::string StatusText(const std::optional<int>& status) {
    return status ? DescribeWaitStatus(*status) : "no exit within the time-out";
}

// A wait status, with the server's last output when it is not a clean exit.
std::string StopText(const std::optional<int>& status, const std::string& output) {
    std::string text = StatusText(status);
    if (!ExitedWithZero(status))
        text.append("\n").append(output);
    return text;
}

std::string StatusName(uint32_t status) {
    if (status == kNoAnswer)
        return "no-answer";
    if (status == kNoConnection)
        return "no-connection";
    return std::to_string(status);
}

float Percentile(std::vector<float> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t at = static_cast<size_t>(static_cast<double>(values.size()) * fraction);
    return values[std::min(at, values.size() - 1)];
}

}  // namespace

bool SoakRun::RestartCleanly(Traffic& traffic, double elapsed) {
    // Every client finishes its request and closes its connection first, so
    // that the clean stop is not mistaken for unanswered requests.
    if (!traffic.gate().CloseAndWait(options_.connections, std::chrono::seconds(400))) {
        Check("clients parked for the mid-run restart", false, "not all within 400 s");
        traffic.gate().Open();
        return true;
    }
    descriptors_.midRun = WaitForDescriptors(descriptors_.start);
    Check("descriptors back to the start count, mid-run", descriptors_.midRun == descriptors_.start,
          std::to_string(descriptors_.midRun) + " for " + std::to_string(descriptors_.start));
    std::optional<int> status = server_->StopCleanly(120);
    Check("clean stop (SIGTERM) mid-run", ExitedWithZero(status),
          StopText(status, server_->OutputTail()));
    const size_t saved = ReadIndex(folder_->File("Cache/index.dat")).size();
    Check("index.dat written by the clean stop", saved > 0, std::to_string(saved) + " entries");
    std::string error;
    if (!server_->Start(error)) {
        serverDied_ = true;
        Check("server restarted mid-run", false, error.append("\n").append(server_->OutputTail()));
        traffic.gate().Open();
        return false;
    }
    descriptors_.restartStart = SettledDescriptors();
    workersStarted_ += WorkersOf(server_->pid()).size();
    restartTimes_.push_back(elapsed);
    printf("soak: %5.0f s  clean restart done, %zu entries in index.dat, new pid %d\n", elapsed,
           saved, server_->pid());
    fflush(stdout);
    traffic.gate().Open();
    return true;
}

void SoakRun::CheckWorkers() {
    const std::string log = folder_->RequestLogs();
    const size_t created = CountOccurrences(log, "is created successfully");
    const size_t initial = workersStarted_;
    // A kill shortly before a restart or the end may not be followed by a
    // request on that thread, and its worker is then not replaced.
    size_t eligible = 0;
    for (double at : killTimes_) {
        auto next = std::find_if(restartTimes_.begin(), restartTimes_.end(),
                                 [&](double t) { return t > at; });
        eligible += next != restartTimes_.end() && *next - at >= kKillMargin ? 1 : 0;
    }
    Check("killed workers replaced (request log)", created >= initial + eligible,
          std::to_string(created) + " worker starts logged, " + std::to_string(initial) +
              " at server starts + " + std::to_string(eligible) + " kills followed by traffic");
}

void SoakRun::CrashAndCheckCache(const Tally& tally) {
    server_->Kill();
    std::string error;
    if (!server_->Start(error)) {
        Check("server restarted after SIGKILL", false,
              error.append("\n").append(server_->OutputTail()));
        return;
    }
    cache_ = CheckCache(folder_->File("Cache"), folder_->port(), tally.answers);
    std::string detail = std::to_string(cache_.entries) + " listed, " +
                         std::to_string(cache_.missingFiles) + " missing, " +
                         std::to_string(cache_.answeredSame) + " of " +
                         std::to_string(cache_.asked) + " repeated GETs answered the listed path";
    for (const std::string& p : cache_.problems)
        detail += "\n    " + p;
    Check("cache index and files agree after SIGKILL and restart",
          cache_.entries > 0 && cache_.missingFiles == 0 && cache_.unknown == 0 &&
              cache_.answeredSame == cache_.asked,
          detail);
    std::optional<int> status = server_->StopCleanly(120);
    Check("clean stop (SIGTERM) at the end", ExitedWithZero(status),
          StopText(status, server_->OutputTail()));
}

void SoakRun::PrintTraffic(const Tally& tally) {
    uint64_t total = 0, unanswered = 0;
    printf("requests by category and status (latency of answered requests):\n");
    for (const auto& [category, counts] : tally.statuses) {
        uint64_t n = 0;
        std::string line;
        for (const auto& [status, count] : counts) {
            n += count;
            unanswered += status == kNoAnswer || status == kNoConnection ? count : 0;
            line.append(" ").append(StatusName(status)).append(":").append(std::to_string(count));
        }
        total += n;
        auto it = tally.latencyMs.find(category);
        std::vector<float> none;
        const std::vector<float>& lat = it != tally.latencyMs.end() ? it->second : none;
        printf("  %-14s %8llu  p50 %8.1f ms  p99 %8.1f ms  status%s\n", category.c_str(),
               static_cast<unsigned long long>(n), Percentile(lat, 0.5), Percentile(lat, 0.99),
               line.c_str());
    }
    std::vector<float> all;
    for (const auto& [category, values] : tally.latencyMs)
        all.insert(all.end(), values.begin(), values.end());
    printf("  %-14s %8llu  p50 %8.1f ms  p99 %8.1f ms\n", "all",
           static_cast<unsigned long long>(total), Percentile(all, 0.5), Percentile(all, 0.99));
    Check("every request answered", unanswered == 0 && total > 0,
          std::to_string(total - unanswered) + " of " + std::to_string(total));
    std::string samples;
    for (const std::string& f : tally.failureSamples)
        samples += "\n    " + f;
    Check("every answer as expected (hostile 2xx, missing source 102, image or size on 0)",
          tally.failures == 0, std::to_string(tally.failures) + " unexpected" + samples);
    Check("GET results stable and present", tally.changedAnswers == 0 && tally.missingResults == 0,
          std::to_string(tally.answers.size()) + " keys, " + std::to_string(tally.changedAnswers) +
              " answered another path, " + std::to_string(tally.missingResults) +
              " answered a missing file");
}

void SoakRun::PrintSummary(const Tally& tally) {
    printf(
        "\n== soak summary: %d s, %d connections, EngineWorkprocessCount=%d (%zu workers at "
        "the first start), worker killed every %d s, INI rewritten every %d s\n",
        options_.seconds, options_.connections, options_.ioThreads, firstWorkers_,
        options_.killEvery, options_.iniEvery);
    PrintTraffic(tally);
    const std::string requestLog = folder_ ? folder_->RequestLogs() : "";
    const std::string systemLog = folder_ ? folder_->SystemLogs() : "";
    const auto& m = memory_;
    printf(
        "server RSS KiB: start %llu, warm-up peak %llu (first %.0f s), max after %llu, "
        "end %llu\n",
        (unsigned long long)m.serverStart, (unsigned long long)m.serverWarmPeak, WarmupSeconds(),
        (unsigned long long)m.serverMaxAfter, (unsigned long long)m.serverEnd);
    std::string ends;
    for (uint64_t e : m.workersEnd)
        ends.append(" ").append(std::to_string(e));
    printf("worker RSS KiB: warm-up peak %llu, max peak after %llu, end%s\n",
           (unsigned long long)m.workerWarmPeak, (unsigned long long)m.workerMaxAfter,
           ends.c_str());
    printf(
        "workers: %zu killed, %zu starts in the request log; request log: %zu lines, %zu cache "
        "hits\n",
        killTimes_.size(), CountOccurrences(requestLog, "is created successfully"),
        CountOccurrences(requestLog, "\r\n"), CountOccurrences(requestLog, ",1,"));
    printf("INI: %d rewrites, %zu reloads in the system log\n", iniWrites_,
           CountOccurrences(systemLog, "INI file has changed and reloaded"));
    printf("descriptors: start %d, mid-run after clients closed %d, after restart %d, end %d\n",
           descriptors_.start, descriptors_.midRun, descriptors_.restartStart, descriptors_.end);
    printf(
        "cache after SIGKILL: %zu listed, %zu missing, %zu orphan result files, %zu/%zu "
        "repeated GETs answered the listed path\n",
        cache_.entries, cache_.missingFiles, cache_.orphans, cache_.answeredSame, cache_.asked);
    if (!serverDied_ && m.serverWarmPeak > 0) {
        Check("server RSS within " + std::to_string(kGrowthFactor) + "x its warm-up peak",
              m.serverMaxAfter <= kGrowthFactor * m.serverWarmPeak, "");
        Check("worker RSS within " + std::to_string(kGrowthFactor) + "x their warm-up peak",
              m.workerMaxAfter <= kGrowthFactor * m.workerWarmPeak, "");
    }
    if (!serverDied_) {
        const int expected =
            descriptors_.restartStart >= 0 ? descriptors_.restartStart : descriptors_.start;
        Check("descriptors back to the start count at the end", descriptors_.end == expected,
              std::to_string(descriptors_.end) + " for " + std::to_string(expected));
    }
    printf("checks:\n");
    for (const std::string& c : checks_)
        printf("  %s\n", c.c_str());
    printf("result: %s%s\n", failed_ ? "FAIL" : "PASS",
           failed_ ? (", folder kept: " + path_).c_str() : "");
    fflush(stdout);
}

}  // namespace Soak
