#include "host/nt_service.h"

#include "cache/result_cache.h"
#include "commands/impersonation.h"
#include "commands/io_thread_resources.h"
#include "commands/register_commands.h"
#include "config/configuration.h"
#include "config/metrics.h"
#include "host/service_install.h"
#include "image/bitmap.h"
#include "image/graphics.h"
#include "photocmd/command_file_store.h"
#include "platform/module.h"
#include "server/asio_server.h"
#include "server/command_registry.h"

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
    // Images decoded in this process (in-process commands) obey the
    // configured pixel limit, also after a reload.
    config.SetSettingsListener(
        [](const Settings& s) { Vs4Image::SetMaxImagePixels(s.maxImagePixels); });
    config.Load(moduleFolder_.empty() ? Vs5Platform::ModuleFolder() : moduleFolder_);

    // A stop asked for while starting is honoured between the steps: the
    // rest is skipped and Stop takes down what was brought up.
    if (stopEvent_.IsSet())
        return;

    // 3. The result cache, with the index the last stop saved.
    ResultCache::Instance().LoadIndex(config.cacheFolder());
    Metrics::Instance().SetGauge("vistrel_cache_entries", "Results in the cache.", [] {
        ResultCache* cache = ResultCache::ExistingInstance();
        return cache ? double(cache->EntryCount()) : 0.0;
    });
    Metrics::Instance().SetGauge("vistrel_cache_bytes", "Bytes of the results in the cache.", [] {
        ResultCache* cache = ResultCache::ExistingInstance();
        return cache ? double(cache->TotalBytes()) : 0.0;
    });

    // 4. The command-file store and the logon-token cache.
    Vs4Command::CommandFileStore::Instance();
    Vs4Command::LogonTokenCache::Instance();

    if (stopEvent_.IsSet())
        return;

    // 5. The network server: verb table, listener, I/O threads (each with its
    //    worker process), maintenance and file remover threads.
    //    The verbs register through the registrar when the registry is made.
    Vs5Server::CommandRegistry::SetRegistrar([](Vs5Server::CommandRegistry& registry) {
        Vs4Command::RegisterCommands(registry, Vs4Command::ProcessServices());
    });
    server_ = std::make_unique<Vs5Server::CAsioVs5Server>(config, config.settings()->port);
    server_->SetCacheMaintenance(&ResultCache::Instance());
    ioResources_ =
        std::make_unique<Vs4Command::IoThreadResources>(config, Vs4Command::DefaultWorkerProgram());
    server_->SetIoThreadEnvironment(ioResources_.get());
    if (!server_->Start(stopEvent_) && server_->workersFailed()) {
        failed_ = true;
        return;
    }

    if (stopEvent_.IsSet())
        return;

    // 6. Last, the INI watcher.
    config.StartWatcher(stopEvent_);
}

void CVs5NtService::Stop() {
    // The network server stops first (loop ended, threads joined, workers told
    // to quit); the caches go after it, the result cache saving its index.
    if (server_) {
        server_->Stop();
        server_.reset();
    }
    ioResources_.reset();
    if (ResultCache* cache = ResultCache::ExistingInstance()) {
        cache->SaveIndex(Configuration::Instance().cacheFolder());
        ResultCache::DestroyInstance();
    }
    Vs4Command::CommandFileStore::DestroyInstance();
    Vs4Command::LogonTokenCache::DestroyInstance();
    Configuration::Instance().requestLog().WriteLine("# %s\r\n", "Service stopped successfully.");
    Configuration::DestroyInstance();
    // The graphics layer shuts down last.
    Vs4Image::GraphicsShutdown();
}
