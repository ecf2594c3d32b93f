// The TCP server: one io_context over every IPv4 interface, one acceptor, a
// pool of I/O threads that run every connection's handlers, and the two
// housekeeping threads. Start once, Stop once, then destroy.
#pragma once

#include <boost/asio.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "config/cache_maintenance.h"
#include "platform/event.h"
#include "server/asio_connection.h"
#include "server/connection_limits.h"
#include "server/housekeeping.h"
#include "server/io_thread.h"
#include "server/metrics_http.h"

class Configuration;

namespace Vs5Server {

class CommandRegistry;

class CAsioVs5Server {
public:
    // `port` 0 lets the system choose one (see boundPort).
    CAsioVs5Server(Configuration& config, uint16_t port);
    ~CAsioVs5Server();
    CAsioVs5Server(const CAsioVs5Server&) = delete;
    CAsioVs5Server& operator=(const CAsioVs5Server&) = delete;

    // Set before Start. The cache steps of the housekeeping threads, the
    // per-thread worker start, and the verb table (the process-wide registry
    // when none is given; Stop destroys that one).
    void SetCacheMaintenance(Vs5Util::CacheMaintenance* cache) { cache_ = cache; }
    void SetIoThreadEnvironment(IoThreadEnvironment* environment) { ioEnvironment_ = environment; }
    void SetRegistry(CommandRegistry* registry) { registry_ = registry; }
    void SetHousekeepingTimings(const HousekeepingTimings& timings) { timings_ = timings; }
    void SetIoThreadCount(int count) { ioThreadCountOverride_ = count; }
    void SetIdleTimeoutForTesting(std::chrono::steady_clock::duration timeout) {
        env_.idleTimeout = timeout;
    }
    // The clock that paces the rejection lines.
    void SetRejectionClockForTesting(RejectionLog::Clock clock) {
        limits_.rejections.SetClock(std::move(clock));
    }

    // Listens and starts the threads, and waits until every I/O thread has
    // started its worker or failed to. False when it cannot listen (the line
    // is in the request log and no thread runs), and false when no I/O
    // thread has a worker: nothing could answer, so everything is stopped
    // again and workersFailed() says why.
    bool Start(const Vs5Platform::ManualResetEvent& stop);
    // Ends the loop and joins every thread. The housekeeping threads end on
    // the stop event, or on the server's own when the stop event is not set.
    void Stop();

    uint16_t boundPort() const { return boundPort_; }
    bool listening() const { return boundPort_ != 0; }
    bool workersFailed() const { return workersFailed_; }
    // I/O threads that serve requests (those whose worker started).
    int servingThreads() const;
    // The port of the metrics endpoint, 0 when it is off.
    uint16_t metricsPort() const { return metrics_.port(); }

private:
    void Listen();
    void StartAccept();
    void HandleAccept(const boost::system::error_code& error);
    bool AdmitCount(const std::string& address);
    void WaitForClient();
    boost::system::error_code AcceptWaiting();
    void RunIoThreads(int count);
    void IoThreadMain(int index);
    void ReportThreadStart(bool serving);
    void StartMetrics(int ioThreads);
    int WaitForThreadStarts(int count);

    Configuration& config_;
    std::string listenAddress_ = "0.0.0.0";
    uint16_t port_;
    uint16_t boundPort_ = 0;
    // Before io_: connections still held by io_'s handlers give their share
    // back when io_ destroys them.
    ServerLimits limits_;
    boost::asio::io_context io_;
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> work_;
    boost::asio::ip::tcp::acceptor acceptor_;
    std::shared_ptr<CAsioVs5Connection> waiting_;
    // Delays the next accept while the process is out of descriptors.
    boost::asio::steady_timer acceptRetry_;

    ConnectionEnvironment env_;
    CommandRegistry* registry_ = nullptr;
    bool ownsRegistry_ = false;
    Vs5Util::CacheMaintenance* cache_ = nullptr;
    IoThreadEnvironment* ioEnvironment_ = nullptr;
    HousekeepingTimings timings_;
    int ioThreadCountOverride_ = 0;

    mutable std::mutex startLock_;  // guards reported_ and serving_
    std::condition_variable startChanged_;
    int reported_ = 0;  // I/O threads that have tried to start their worker
    int serving_ = 0;   // ... and succeeded
    bool workersFailed_ = false;
    MetricsHttpServer metrics_;

    const Vs5Platform::ManualResetEvent* stop_ = nullptr;
    Vs5Platform::ManualResetEvent quit_;  // ends the housekeeping threads at Stop
    std::thread ioRunner_, maintenance_, fileRemover_;
};

}  // namespace Vs5Server
