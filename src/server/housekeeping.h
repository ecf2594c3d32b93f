// The two housekeeping threads the server runs beside its I/O threads: the
// maintenance thread (a tick a minute: cache size enforcement every 5th,
// cache statistics every 60th, old logs every 1440th) and the file remover
// thread (deletes queued result files every 3 seconds). Both end when the
// stop event is set.
#pragma once

#include <cstdint>

#include "config/cache_maintenance.h"
#include "platform/event.h"
#include "server/connection_limits.h"

class Configuration;

namespace Vs5Server {

struct HousekeepingTimings {
    int minuteMs = 60000;                // one maintenance tick
    int removerFirstSleepMs = 3000;      // before the first wait
    int removerPassMs = 3000;            // wait between passes
    int removerGapMs = 20;               // pause after each deleted file
    uint32_t removerReportMs = 3600000;  // least time between two totals
};

constexpr int kFilesPerPass = 100;

// The threads end when either event is set: the process stop event, or the
// server's own when it stops without one.
struct StopEvents {
    const Vs5Platform::ManualResetEvent& stop;
    const Vs5Platform::ManualResetEvent& quit;
    // Waits up to `ms`; true when either event is set.
    bool Wait(int ms) const;
};

// Thread body. `cache` may be null: the cache steps are then skipped. Each
// tick also sums up the rejection lines held back, when `rejections` is given.
void MaintenanceThread(StopEvents events, Configuration& config, Vs5Util::CacheMaintenance* cache,
                       HousekeepingTimings timings, RejectionLog* rejections);

// Thread body. Without a cache there is no queue and the passes do nothing.
void FileRemoverThread(StopEvents events, Configuration& config, Vs5Util::CacheMaintenance* cache,
                       HousekeepingTimings timings);

// One pass of the file remover over `queue`: at most kFilesPerPass attempts.
// Returns the number of files deleted.
int RemoveQueuedFiles(Vs5Util::DanglingFileQueue& queue, Configuration& config, int gapMs);

}  // namespace Vs5Server
