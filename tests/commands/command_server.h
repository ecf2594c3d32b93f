// The real server on a free loopback port with the real verbs, its own
// result cache and command-file store, and real worker processes for its I/O
// threads, over a module folder of its own.
#pragma once

#include <memory>
#include <string>

#include "cache/result_cache.h"
#include "client/connection.h"
#include "client/verb_requests.h"
#include "commands/io_thread_resources.h"
#include "commands/register_commands.h"
#include "photocmd/command_file_store.h"
#include "server/asio_server.h"
#include "server/command_registry.h"
#include "server/test_folder.h"

namespace CommandTest {

inline const std::string kWorkerProgram = VS_BIN_DIR "/vistrelremt";

class CommandServer {
public:
    explicit CommandServer(const std::string& iniText = "[Server]\n", int ioThreads = 1,
                           std::string workerProgram = kWorkerProgram)
        : folder_(iniText), ioThreads_(ioThreads), workerProgram_(std::move(workerProgram)) {
        store_ = std::make_unique<Vs4Command::CommandFileStore>(config().commandFolder());
        cache_ = std::make_unique<ResultCache>(SetupFromConfiguration(config()));
        cache_->LoadIndex(config().cacheFolder());
        Build();
    }
    ~CommandServer() { Stop(); }

    bool Start() { return server_->Start(stop_); }
    void Stop() {
        stop_.Set();
        server_->Stop();
    }
    // Stops, saves the cache index, and starts again on a cache read back from it.
    bool Restart() {
        Stop();
        cache_->SaveIndex(config().cacheFolder());
        cache_ = std::make_unique<ResultCache>(SetupFromConfiguration(config()));
        cache_->LoadIndex(config().cacheFolder());
        stop_.Reset();
        Build();
        return Start();
    }

    Configuration& config() { return folder_.config(); }
    TestModuleFolder& folder() { return folder_; }
    ResultCache& cache() { return *cache_; }
    Vs5Server::CAsioVs5Server& server() { return *server_; }
    const std::string& path() const { return folder_.path(); }
    uint16_t port() const { return server_->boundPort(); }

    bool Connect(VsClient::Connection& c, int timeoutMs = 60000) {
        return c.Connect("127.0.0.1", port(), timeoutMs);
    }
    // Sends one frame on a new connection and reads the answer; status
    // 0xFFFFFFFF when no answer came.
    VsClient::Response Ask(const std::vector<uint8_t>& frame) {
        VsClient::Connection c;
        VsClient::Response r;
        r.status = 0xFFFFFFFF;
        if (Connect(c) && !c.Request(frame, r))
            r.status = 0xFFFFFFFF;
        return r;
    }

private:
    void Build() {
        server_.reset();
        registry_ = std::make_unique<Vs5Server::CommandRegistry>();
        Vs4Command::RegisterCommands(*registry_, {config(), *cache_, *store_});
        resources_ = std::make_unique<Vs4Command::IoThreadResources>(config(), workerProgram_);
        server_ = std::make_unique<Vs5Server::CAsioVs5Server>(config(), 0);
        server_->SetRegistry(registry_.get());
        server_->SetIoThreadCount(ioThreads_);
        server_->SetIoThreadEnvironment(resources_.get());
    }

    TestModuleFolder folder_;
    int ioThreads_;
    std::string workerProgram_;
    std::unique_ptr<Vs4Command::CommandFileStore> store_;
    std::unique_ptr<ResultCache> cache_;
    std::unique_ptr<Vs5Server::CommandRegistry> registry_;
    std::unique_ptr<Vs4Command::IoThreadResources> resources_;
    Vs5Platform::ManualResetEvent stop_;
    std::unique_ptr<Vs5Server::CAsioVs5Server> server_;
};

}  // namespace CommandTest
