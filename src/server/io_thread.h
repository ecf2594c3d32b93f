// What belongs to one I/O thread: its worker connection and its web-capture
// events. Commands reach them through the request context, which the
// connection fills from the dispatching thread's container before each
// dispatch.
#pragma once

#include "server/request_context.h"

namespace Vs5Server {

struct CTlsContainer {
    CWebCaptureSync* captureSync = nullptr;
    Vs5Worker::CWorkerProcess* worker = nullptr;
};

// The container of the calling I/O thread, or null on any other thread.
CTlsContainer* CurrentIoThread();
// Called by the I/O thread itself at start (its container) and at end (null).
void SetCurrentIoThread(CTlsContainer* tls);

// Starts and ends the per-thread resources (the worker process and the
// capture events). The host supplies one once those subsystems exist.
class IoThreadEnvironment {
public:
    virtual ~IoThreadEnvironment() = default;
    // Fills `tls`; false when the thread's worker cannot be started, and
    // the thread then serves no requests.
    virtual bool StartThread(CTlsContainer& tls) = 0;
    // Asks the worker to quit and ends the capture process.
    virtual void StopThread(CTlsContainer& tls) = 0;
};

// The number of I/O threads: the processor count, capped by the configured
// count when that is above 0, else by 6; at least 1.
int IoThreadCount(int processors, int configured);

}  // namespace Vs5Server
