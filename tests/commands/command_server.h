// The real server on a free loopback port with the real verbs, its own
// result cache and command-file store, and real worker processes for its I/O
// threads, over a module folder of its own; EXEC2 requests on one connection
// to it, and a short text for each answer so that tables of requests can
// state what they expect.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cache/result_cache.h"
#include "client/connection.h"
#include "client/verb_requests.h"
#include "commands/io_thread_resources.h"
#include "commands/register_commands.h"
#include "image/base_image.h"
#include "photocmd/command_file_store.h"
#include "server/asio_server.h"
#include "server/command_registry.h"
#include "server/test_folder.h"
#include "support/shell.h"
#include "support/temp_dir.h"

namespace CommandTest {

using VsClient::Exec2Kind;
using vstest::Quoted;
using vstest::Shell;

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

inline std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}
inline std::vector<uint8_t> FileBytes(const std::string& path) {
    return Bytes(vstest::ReadFile(path));
}

// The PNG files left in a folder.
inline int PngFilesIn(const std::string& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.path().extension() == ".png" ? 1 : 0;
    return count;
}

// "status N" for a failure, "size WxH" for a size answer, "text T" for a
// text answer, "image WxH" for encoded image bytes (decoded here), and
// "binary" for bytes that do not decode.
inline std::string Describe(const VsClient::Response& r) {
    if (r.status != 0)
        return "status " + std::to_string(r.status) + (r.payload.empty() ? "" : " with payload");
    uint32_t w = 0, h = 0;
    if (VsClient::PayloadSize(r, w, h))
        return "size " + std::to_string(w) + "x" + std::to_string(h);
    std::string text;
    if (VsClient::PayloadText(r, text))
        return "text " + text;
    std::vector<uint8_t> data;
    if (!VsClient::PayloadBinary(r, data))
        return "no payload";
    Vs4Image::CBaseImage image;
    if (image.LoadFromMemory(data.data(), static_cast<uint32_t>(data.size())) != Vs4Image::Ok)
        return "binary";
    return "image " + std::to_string(image.width()) + "x" + std::to_string(image.height());
}

class Exec2Session {
public:
    explicit Exec2Session(CommandServer& server) { connected_ = server.Connect(connection_); }
    bool connected() const { return connected_; }

    VsClient::Response Send(const std::vector<uint8_t>& frame) {
        VsClient::Response r;
        r.status = 0xFFFFFFFF;
        if (!connection_.Request(frame, r))
            r.status = 0xFFFFFFFE;  // no answer at all
        return r;
    }
    std::string Ask(Exec2Kind kind, const std::vector<uint8_t>& data, const std::string& textA,
                    const std::string& name) {
        return Describe(Send(VsClient::BuildExec2Frame(kind, data, textA, name)));
    }
    // A w x h canvas named `name` in the colour `colour`.
    std::string Blank(const std::string& name, uint32_t w, uint32_t h, const std::string& colour) {
        std::vector<uint8_t> data = VsClient::U32s({w, h});
        const std::vector<uint8_t> text = VsClient::Utf16z(colour);
        data.insert(data.end(), text.begin(), text.end());
        return Ask(Exec2Kind::kBlank, data, "", name);
    }
    // The named image's pixel at (x, y) as ARGB, through a PNG encode; 0 on failure.
    uint32_t PixelOf(const std::string& name, int x, int y) {
        VsClient::Response r =
            Send(VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, "cmd=encode&format=png", name));
        std::vector<uint8_t> png;
        Vs4Image::CBaseImage image;
        if (!VsClient::PayloadBinary(r, png) ||
            image.LoadFromMemory(png.data(), static_cast<uint32_t>(png.size())) != Vs4Image::Ok ||
            x >= image.width() || y >= image.height())
            return 0;
        uint32_t argb;
        memcpy(&argb, image.view().pixel(x, y), 4);
        return argb;
    }

private:
    VsClient::Connection connection_;
    bool connected_ = false;
};

}  // namespace CommandTest
