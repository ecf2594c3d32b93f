#include "server/housekeeping.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include <unistd.h>

#include "config/configuration.h"
#include "config/file_remover.h"
#include "platform/signal_stack.h"

namespace Vs5Server {

namespace {

void RunMinuteSteps(unsigned minutes, Configuration& config, Vs5Util::CacheMaintenance* cache) {
    if (cache != nullptr && minutes % 5 == 0)
        cache->Invalidate();
    if (cache != nullptr && minutes % 60 == 0)
        cache->ReportStatistics();
    if (minutes % 1440 == 0) {
        // Today's logs are open; with KeepLogDay 0 or less they would
        // otherwise be old enough to go, taking the rest of the day's lines.
        Vs5Util::CFileRemover remover;
        remover.Spare(config.requestLog().CurrentPath());
        remover.Spare(config.systemLog().CurrentPath());
        remover.RemoveOldFiles(config.logFolder(), "*.log", config.settings()->keepLogDay, false);
        config.systemLog().WriteLine("%s\r\n", "Old log files have been removed");
    }
}

}  // namespace

bool StopEvents::Wait(int ms) const {
    int woke = Vs5Platform::WaitAny({stop.fd(), quit.fd()}, ms);
    if (woke >= 0)
        return true;
    return stop.IsSet() || quit.IsSet();
}

void MaintenanceThread(StopEvents stop, Configuration& config, Vs5Util::CacheMaintenance* cache,
                       HousekeepingTimings timings, RejectionLog* rejections) {
    Vs5Platform::EnsureSignalStack();
    // The count is never reset, so the first daily step comes a day after start.
    unsigned minutes = 0;
    while (!stop.Wait(timings.minuteMs)) {
        if (rejections != nullptr)
            rejections->Summarise();
        RunMinuteSteps(++minutes, config, cache);
    }
}

int RemoveQueuedFiles(Vs5Util::DanglingFileQueue& queue, Configuration& config, int gapMs) {
    int deleted = 0;
    std::string path;
    for (int attempt = 0; attempt < kFilesPerPass && queue.TryPop(path); ++attempt) {
        if (unlink(path.c_str()) == 0) {
            ++deleted;
            if (gapMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
            continue;
        }
        int error = errno;
        // Gone already (or its folder is): nothing left to do.
        if (error == ENOENT || error == ENOTDIR)
            continue;
        config.systemLog().WriteLine("%s was not deleted(%d).\r\n", path.c_str(), error);
        queue.Push(std::move(path));
    }
    return deleted;
}

void FileRemoverThread(StopEvents stop, Configuration& config, Vs5Util::CacheMaintenance* cache,
                       HousekeepingTimings timings) {
    Vs5Platform::EnsureSignalStack();
    if (stop.Wait(timings.removerFirstSleepMs))
        return;
    long long total = 0, reportedTotal = 0;
    uint32_t reportedTick = 0;
    while (!stop.Wait(timings.removerPassMs)) {
        if (cache != nullptr)
            total += RemoveQueuedFiles(*cache->danglingFiles(), config, timings.removerGapMs);
        uint32_t now = Vs5Platform::TickCount();
        if (total > reportedTotal && now - reportedTick > timings.removerReportMs) {
            config.systemLog().WriteLine("The total number of files deleted are %lld.\r\n", total);
            reportedTotal = total;
            reportedTick = now;
        }
    }
}

}  // namespace Vs5Server
