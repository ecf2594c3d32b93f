#include "host/nt_service.h"

#include "cache/result_cache.h"
#include "config/configuration.h"
#include "host/service_install.h"
#include "platform/module.h"

Vs5Platform::ManualResetEvent& ProcessStopEvent() {
    static Vs5Platform::ManualResetEvent event;
    return event;
}

CVs5NtService::CVs5NtService(Vs5Platform::ManualResetEvent& stopEvent, std::string moduleFolder)
    : CNtService(kServiceName), stopEvent_(stopEvent), moduleFolder_(std::move(moduleFolder)) {}

void CVs5NtService::Start(int, char**) {
    // 1. The image engine's graphics layer starts here once it exists.

    // 2. Configuration: working folders, temporary clean-up, INI file, logs,
    //    IP filter.
    Configuration& config = Configuration::Instance();
    config.Load(moduleFolder_.empty() ? Vs5Platform::ModuleFolder() : moduleFolder_);

    // 3. The result cache, with the index the last stop saved.
    ResultCache::Instance().LoadIndex(config.cacheFolder());

    // 4. The command-file store and the logon-token cache are created here.
    // 5. The network server is created and started here (I/O threads, workers,
    //    housekeeping threads).

    // 6. Last, the INI watcher.
    config.StartWatcher(stopEvent_);
}

void CVs5NtService::Stop() {
    // The network server stops first and the caches go after it; they join
    // this sequence as they land.
    if (ResultCache* cache = ResultCache::ExistingInstance()) {
        cache->SaveIndex(Configuration::Instance().cacheFolder());
        ResultCache::DestroyInstance();
    }
    Configuration::Instance().requestLog().WriteLine("# %s\r\n", "Service stopped successfully.");
    Configuration::DestroyInstance();
    // The graphics layer shuts down last.
}
