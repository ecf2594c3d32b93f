#include "commands/io_thread_resources.h"

#include <memory>

#include "commands/web_capture.h"
#include "config/configuration.h"
#include "platform/module.h"
#include "worker/worker_process.h"

namespace Vs4Command {

IoThreadResources::IoThreadResources(Configuration& config, std::string workerProgram)
    : config_(config), workerProgram_(std::move(workerProgram)) {}

bool IoThreadResources::StartThread(Vs5Server::CTlsContainer& tls) {
    auto worker = std::make_unique<Vs5Worker::CWorkerProcess>(config_, workerProgram_);
    if (!worker->Start())
        return false;
    tls.worker = worker.release();
    tls.captureSync = new CWebCaptureSync();
    return true;
}

void IoThreadResources::StopThread(Vs5Server::CTlsContainer& tls) {
    delete tls.captureSync;
    tls.captureSync = nullptr;
    if (tls.worker != nullptr)
        tls.worker->Stop();
    delete tls.worker;
    tls.worker = nullptr;
}

std::string DefaultWorkerProgram() {
    return Vs5Platform::JoinPath(Vs5Platform::ModuleFolder(), "vistrelremt");
}

}  // namespace Vs4Command
