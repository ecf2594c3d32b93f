// A real server on a free loopback port with a verb table of test commands.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "client/connection.h"
#include "client/request_builder.h"
#include "server/asio_server.h"
#include "server/command_registry.h"
#include "server/response_builders.h"
#include "server/test_folder.h"

namespace ServerTest {

using Vs5Server::RequestContext;
using Vs5Server::ResponseBuffer;

// A test command that runs the function it is given.
class FnCommand : public Vs4Command::CVs4Command {
public:
    using Fn = std::function<void(RequestContext&, const uint8_t*, size_t, ResponseBuffer&)>;
    explicit FnCommand(Fn fn) : fn_(std::move(fn)) {}
    void Execute(RequestContext& c, const uint8_t* f, size_t n, ResponseBuffer& out) override {
        fn_(c, f, n, out);
    }

private:
    Fn fn_;
};

class RunningServer {
public:
    explicit RunningServer(const std::string& iniText = "[Server]\n") : folder_(iniText) {
        // WHO answers with the request id, the client address and whether
        // the dispatching thread has a worker: "1001 127.0.0.1 none".
        Register("WHO", [](RequestContext& c, const uint8_t*, size_t, ResponseBuffer& out) {
            Vs5Server::BuildTypedTextResponse(out, std::to_string(c.requestId) + " " +
                                                       c.clientAddress + " " +
                                                       (c.worker ? "worker" : "none"));
        });
        // ECHO answers with the request body as binary data.
        Register("ECHO", [](RequestContext&, const uint8_t* f, size_t n, ResponseBuffer& out) {
            Vs5Server::BuildTypedBinaryResponse(out, 0, f + 36, static_cast<uint32_t>(n - 36));
        });
        Register("THROW", [](RequestContext&, const uint8_t*, size_t, ResponseBuffer&) {
            throw std::runtime_error("test command failed");
        });
        server_ = std::make_unique<Vs5Server::CAsioVs5Server>(folder_.config(), 0);
        server_->SetRegistry(&registry_);
    }
    ~RunningServer() { Stop(); }

    Vs5Server::CAsioVs5Server& server() { return *server_; }
    TestModuleFolder& folder() { return folder_; }
    bool Start() { return server_->Start(stop_); }
    void Stop() {
        stop_.Set();
        server_->Stop();
    }
    uint16_t port() const { return server_->boundPort(); }

    bool Connect(VsClient::Connection& c, int timeoutMs = 10000) {
        return c.Connect("127.0.0.1", port(), timeoutMs);
    }

private:
    void Register(const char* verb, FnCommand::Fn fn) {
        registry_.Register(verb, std::make_unique<FnCommand>(std::move(fn)));
    }

    TestModuleFolder folder_;
    Vs5Server::CommandRegistry registry_;
    Vs5Platform::ManualResetEvent stop_;
    std::unique_ptr<Vs5Server::CAsioVs5Server> server_;
};

// The answer to an unknown verb: status 100, no payload.
inline const std::vector<uint8_t> kUnknownAnswer = {'V', 'S', '4', 0, 100, 0, 0, 0, 0, 0, 0, 0};

// The answer as it came over the wire.
inline std::vector<uint8_t> Whole(const VsClient::Response& r) {
    std::vector<uint8_t> out = {'V', 'S', '4', 0};
    for (uint32_t v : {r.status, uint32_t(r.payload.size())})
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    out.insert(out.end(), r.payload.begin(), r.payload.end());
    return out;
}

// Sends one request and waits for its answer.
inline bool Ask(VsClient::Connection& c, const char* verb, VsClient::Response& r,
                std::vector<uint8_t> body = {}) {
    return c.Request(VsClient::BuildRequestFrame(verb, 400, body), r);
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline std::string TypedText(const VsClient::Response& r) {
    if (r.payload.size() < 2)
        return "";
    return VsClient::DecodeUtf16z(r.payload.data() + 2, r.payload.size() - 2);
}

}  // namespace ServerTest
