// The server's side of one worker process: started by its I/O thread, reached
// over a UNIX stream socket in TempFiles, stopped with the thread. A worker
// that dies or stops answering is replaced by the link that noticed it, so
// the thread's next request finds a fresh one.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

class Configuration;

namespace Vs5Worker {

class CWorkerProcess {
public:
    // `program` is the worker executable's full path.
    CWorkerProcess(Configuration& config, std::string program);
    ~CWorkerProcess();
    CWorkerProcess(const CWorkerProcess&) = delete;
    CWorkerProcess& operator=(const CWorkerProcess&) = delete;

    // Starts the worker for the calling thread and connects to it. Writes
    // the start, and every failure, to the request log. False when the
    // worker could not be started or reached; nothing is left running then.
    bool Start();
    // Asks the worker to quit, waits up to 10 s for it, then kills it.
    void Stop();

    // True when a worker is connected, starting one first when an earlier
    // replacement could not be started.
    bool EnsureRunning();
    // Kills the worker after a failed exchange (its stream may be anywhere
    // inside a message, so it cannot be used again) and starts a new one.
    void Replace();

    int fd() const { return fd_; }
    pid_t pid() const { return pid_; }
    // The current WorkerTimeout in milliseconds; negative for no limit.
    int timeoutMs() const;
    // How many times a worker was started (restarts included).
    uint32_t starts() const { return starts_; }

private:
    bool Connect(const std::string& socketPath);
    void Close();

    Configuration& config_;
    const std::string program_;
    pid_t pid_ = -1;
    int fd_ = -1;
    bool started_ = false;  // Start succeeded once: later failures restart
    uint32_t starts_ = 0;
};

}  // namespace Vs5Worker
