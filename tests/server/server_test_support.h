// A real server on a free loopback port with a verb table of test commands.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "client/connection.h"
#include "client/request_builder.h"
#include "platform/text.h"
#include "server/asio_server.h"
#include "server/body_strings.h"
#include "server/command_registry.h"
#include "server/response_builders.h"
#include "server/test_folder.h"

namespace ServerTest {

using Vs5Server::RequestContext;
using Vs5Server::ResponseBuffer;
using Fn = std::function<void(RequestContext&, const uint8_t*, size_t, ResponseBuffer&)>;

struct FnCommand : Vs4Command::CVs4Command {
    explicit FnCommand(Fn fn) : fn_(std::move(fn)) {}
    void Execute(RequestContext& c, const uint8_t* f, size_t n, ResponseBuffer& out) override {
        fn_(c, f, n, out);
    }
    Fn fn_;
};

// WHO: "<request id> <client address> <worker|none>" as typed text. ECHO: the
// body as typed binary. STRS: the three body strings joined with '|', in the
// request's own encoding (status 101 when the body carries no strings).
inline void RegisterTestVerbs(Vs5Server::CommandRegistry& r) {
    auto add = [&r](const char* verb, Fn fn) { r.Register(verb, std::make_unique<FnCommand>(fn)); };
    add("WHO", [](RequestContext& c, const uint8_t*, size_t, ResponseBuffer& out) {
        Vs5Server::BuildTypedTextResponse(out, std::to_string(c.requestId) + " " + c.clientAddress +
                                                   " " + (c.worker ? "worker" : "none"));
    });
    add("ECHO", [](RequestContext&, const uint8_t* f, size_t n, ResponseBuffer& out) {
        Vs5Server::BuildTypedBinaryResponse(out, 0, f + 36, static_cast<uint32_t>(n - 36));
    });
    add("STRS", [](RequestContext&, const uint8_t* f, size_t n, ResponseBuffer& out) {
        Vs5Server::BodyStringReader b(f, n);
        if (!b.hasStrings())
            return Vs5Server::BuildHeaderOnlyResponse(out, 101);
        std::string all = Vs5Platform::Utf16ToUtf8(b.first()) + "|" +
                          Vs5Platform::Utf16ToUtf8(b.second()) + "|" +
                          Vs5Platform::Utf16ToUtf8(b.third());
        if (b.encoding() == 400)
            Vs5Server::BuildTextResponse(out, 0, all);
        else
            Vs5Server::BuildCodePageTextResponse(out, b.codePage(), 0, all);
    });
    add("THROW", [](RequestContext&, const uint8_t*, size_t, ResponseBuffer&) {
        throw std::runtime_error("test command failed");
    });
}

class RunningServer {
public:
    explicit RunningServer(const std::string& iniText = "[Server]\n") : folder_(iniText) {
        RegisterTestVerbs(registry_);
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
    bool Connect(VsClient::Connection& c) { return c.Connect("127.0.0.1", port(), 10000); }
    std::string requestLog() { return folder_.requestLog(); }
    bool Refuses(VsClient::Connection& c) { return Connect(c) && c.WaitForClose(10000); }

private:
    TestModuleFolder folder_;
    Vs5Server::CommandRegistry registry_;
    Vs5Platform::ManualResetEvent stop_;
    std::unique_ptr<Vs5Server::CAsioVs5Server> server_;
};

// An unknown verb is answered with status 100 and no payload.
inline bool IsUnknownAnswer(const VsClient::Response& r) {
    return r.status == 100 && r.payload.empty();
}

inline bool Ask(VsClient::Connection& c, const char* verb, VsClient::Response& r,
                const std::vector<uint8_t>& body = {}) {
    return c.Request(VsClient::BuildRequestFrame(verb, 400, body), r);
}

inline bool Contains(const std::string& text, const std::string& s) {
    return text.find(s) != text.npos;
}

inline std::string TypedText(const VsClient::Response& r) {
    return r.payload.size() < 2
               ? ""
               : VsClient::DecodeUtf16z(r.payload.data() + 2, r.payload.size() - 2);
}

// Polls `condition` for up to ten seconds.
inline bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 400; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

}  // namespace ServerTest
