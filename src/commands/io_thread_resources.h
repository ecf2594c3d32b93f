// What each I/O thread owns: its worker process and its web-capture
// semaphores, made when the thread starts and released when it ends.
#pragma once

#include <string>

#include "server/io_thread.h"

class Configuration;

namespace Vs4Command {

class IoThreadResources : public Vs5Server::IoThreadEnvironment {
public:
    // `workerProgram` is the worker executable's full path.
    IoThreadResources(Configuration& config, std::string workerProgram);

    bool StartThread(Vs5Server::CTlsContainer& tls) override;
    void StopThread(Vs5Server::CTlsContainer& tls) override;

private:
    Configuration& config_;
    const std::string workerProgram_;
};

// The worker beside the running executable.
std::string DefaultWorkerProgram();

}  // namespace Vs4Command
