// The real server on a free loopback port with the real verbs, over a module
// folder of its own. Worker processes are started for its I/O threads.
#pragma once

#include <memory>
#include <string>

#include "client/connection.h"
#include "client/verb_requests.h"
#include "commands/register_commands.h"
#include "server/asio_server.h"
#include "server/command_registry.h"
#include "server/test_folder.h"

namespace CommandTest {

class CommandServer {
public:
    explicit CommandServer(const std::string& iniText = "[Server]\n", int ioThreads = 1)
        : folder_(iniText) {
        Vs4Command::RegisterCommands(registry_, folder_.config());
        server_ = std::make_unique<Vs5Server::CAsioVs5Server>(folder_.config(), 0);
        server_->SetRegistry(&registry_);
        server_->SetIoThreadCount(ioThreads);
    }
    ~CommandServer() { Stop(); }

    bool Start() { return server_->Start(stop_); }
    void Stop() {
        stop_.Set();
        server_->Stop();
    }

    Configuration& config() { return folder_.config(); }
    TestModuleFolder& folder() { return folder_; }
    const std::string& path() const { return folder_.path(); }
    uint16_t port() const { return server_->boundPort(); }

    bool Connect(VsClient::Connection& c, int timeoutMs = 60000) {
        return c.Connect("127.0.0.1", port(), timeoutMs);
    }
    // Sends one frame on a new connection and reads the answer.
    VsClient::Response Ask(const std::vector<uint8_t>& frame) {
        VsClient::Connection c;
        VsClient::Response r;
        r.status = 0xFFFFFFFF;
        if (Connect(c))
            c.Request(frame, r);
        return r;
    }

private:
    TestModuleFolder folder_;
    Vs5Server::CommandRegistry registry_;
    Vs5Platform::ManualResetEvent stop_;
    std::unique_ptr<Vs5Server::CAsioVs5Server> server_;
};

}  // namespace CommandTest
