// What the maintenance and file remover threads ask of the result cache. The
// cache implements it; the host hands it to the server before the server
// starts. Without one, the threads skip the cache steps.
#pragma once

#include "config/dangling_file_queue.h"

namespace Vs5Util {

class CacheMaintenance {
public:
    virtual ~CacheMaintenance() = default;
    // Size enforcement: evicts entries until the cache fits its limit, queueing
    // their files on the dangling-file queue. Every 5 minutes.
    virtual void Invalidate() = 0;
    // Writes the cache statistics to the system log. Every 60 minutes.
    virtual void ReportStatistics() = 0;
    // The files waiting to be deleted; never null.
    virtual DanglingFileQueue* danglingFiles() = 0;
};

}  // namespace Vs5Util
