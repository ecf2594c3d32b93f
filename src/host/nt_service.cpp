#include "host/nt_service.h"

#include "config/configuration.h"
#include "host/service_install.h"
#include "image/bitmap.h"
#include "image/graphics.h"
#include "platform/module.h"

Vs5Platform::ManualResetEvent& ProcessStopEvent() {
    static Vs5Platform::ManualResetEvent event;
    return event;
}

CVs5NtService::CVs5NtService(Vs5Platform::ManualResetEvent& stopEvent, std::string moduleFolder)
    : CNtService(kServiceName), stopEvent_(stopEvent), moduleFolder_(std::move(moduleFolder)) {}

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
    // 5. The network server is created and started here (I/O threads, workers,
    //    housekeeping threads).

    // 6. Last, the INI watcher.
    config.StartWatcher(stopEvent_);
}

void CVs5NtService::Stop() {
    // The network server stops first and the caches go after it (the result
    // cache saves its index); they join this sequence as they land.
    Configuration::Instance().requestLog().WriteLine("# %s\r\n", "Service stopped successfully.");
    Configuration::DestroyInstance();
    // The graphics layer shuts down last.
    Vs4Image::GraphicsShutdown();
}
