#include "host/nt_service.h"

#include "config/configuration.h"
#include "host/service_install.h"
#include "image/bitmap.h"
#include "image/graphics.h"
#include "platform/module.h"
#include "server/asio_server.h"

Vs5Platform::ManualResetEvent& ProcessStopEvent() {
    static Vs5Platform::ManualResetEvent event;
    return event;
}

CVs5NtService::CVs5NtService(Vs5Platform::ManualResetEvent& stopEvent, std::string moduleFolder)
    : CNtService(kServiceName), stopEvent_(stopEvent), moduleFolder_(std::move(moduleFolder)) {}

CVs5NtService::~CVs5NtService() = default;

void CVs5NtService::Start(int, char**) {
    // 1. The image engine's graphics layer.
    Vs4Image::GraphicsStartup();

    // 2. Configuration: working folders, temporary clean-up, INI file, logs,
    //    IP filter.
    Configuration& config = Configuration::Instance();
    config.Load(moduleFolder_.empty() ? Vs5Platform::ModuleFolder() : moduleFolder_);
    // Images decoded in this process (in-process commands) obey the
    // configured pixel limit.
    Vs4Image::SetMaxImagePixels(config.settings()->maxImagePixels);

    // 3. The result cache opens on the configured cache folder here.
    // 4. The command-file store and the logon-token cache are created here.
    // 5. The network server: verb table, listener, I/O threads (each with its
    //    worker once workers exist), maintenance and file remover threads.
    //    The commands register through CommandRegistry::SetRegistrar before
    //    the server starts; the result cache hands the server its maintenance
    //    steps (SetCacheMaintenance) and the worker subsystem its per-thread
    //    start (SetIoThreadEnvironment).
    server_ = std::make_unique<Vs5Server::CAsioVs5Server>(config, config.settings()->port);
    server_->Start(stopEvent_);

    // 6. Last, the INI watcher.
    config.StartWatcher(stopEvent_);
}

void CVs5NtService::Stop() {
    // The network server stops first (loop ended, threads joined, workers told
    // to quit); the caches go after it (the result cache saves its index).
    if (server_) {
        server_->Stop();
        server_.reset();
    }
    Configuration::Instance().requestLog().WriteLine("# %s\r\n", "Service stopped successfully.");
    Configuration::DestroyInstance();
    // The graphics layer shuts down last.
    Vs4Image::GraphicsShutdown();
}
