// EXEC2 requests on one connection to the test server, and a short text for
// each answer so that tables of requests can state what they expect.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "client/connection.h"
#include "client/verb_requests.h"
#include "commands/command_server.h"
#include "image/base_image.h"
#include "support/shell.h"

namespace CommandTest {

using VsClient::Exec2Kind;
using vstest::Quoted;
using vstest::Shell;

inline std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
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
