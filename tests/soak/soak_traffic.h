// The soak's pictures and clients, for soak_main.cpp. Each client keeps one
// connection and sends a random mix of GET (new and repeated results, missing
// sources), EXEC from image bytes, EXEC2 sessions and malformed frames, with
// good and hostile images, and checks every answer it gets.
#pragma once

#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "client/connection.h"
#include "client/verb_requests.h"
#include "support/shell.h"
#include "support/temp_dir.h"

namespace Soak {

namespace fs = std::filesystem;
using VsClient::Exec2Kind;
using VsClient::Response;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kNoAnswer = 0xFFFFFFFF;  // the status counted when no response came

struct SoakImage {
    std::string path;
    Bytes bytes;
    bool mustFail = false;  // hostile beyond repair: refused with 2xx, never decoded
};

struct ImageSet {
    std::vector<SoakImage> photos, hostile;
};

// A copy of `bytes` with `patch` written at `at`.
inline Bytes Patched(Bytes bytes, size_t at, const Bytes& patch) {
    std::copy(patch.begin(), patch.end(), bytes.begin() + static_cast<long>(at));
    return bytes;
}

// The PNG with its header announcing (high * 65536 + 34464) pixels square,
// its checksum right.
inline Bytes HugePng(const Bytes& png, uint8_t high) {
    Bytes huge = Patched(png, 16, {0, high, 0x86, 0xA0, 0, high, 0x86, 0xA0});
    const uint32_t crc = static_cast<uint32_t>(crc32(0, &huge[12], 17));
    return Patched(huge, 29,
                   {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
}

// The JPEG with its frame header announcing 60000 x 60000 pixels.
inline Bytes HugeJpeg(const Bytes& jpeg) {
    size_t at = 2;
    while (at + 8 < jpeg.size() && !(jpeg[at] == 0xFF && (jpeg[at + 1] & 0xFD) == 0xC0))
        ++at;
    return Patched(jpeg, at + 5, {0xEA, 0x60, 0xEA, 0x60});
}

inline void Add(std::vector<SoakImage>& to, const std::string& path, const Bytes& bytes,
                bool mustFail) {
    vstest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    to.push_back({path, bytes, mustFail});
}

// Cut short, scribbled over, random bytes, nothing, and headers announcing
// enormous images.
inline void MakeHostile(const std::string& folder, ImageSet& set) {
    std::mt19937 random(14);
    for (const SoakImage& photo : std::vector<SoakImage>(set.photos)) {
        const std::string stem = folder + "/" + fs::path(photo.path).stem().string();
        const std::string ext = fs::path(photo.path).extension().string();
        const Bytes& b = photo.bytes;
        if (ext == ".jpg" || ext == ".png") {
            Add(set.hostile, stem + "-third" + ext, Bytes(b.begin(), b.begin() + b.size() / 3),
                true);
            Add(set.hostile, stem + "-header" + ext, Bytes(b.begin(), b.begin() + 100), true);
        }
        Bytes scribbled = b;
        for (int i = 0; i < 256; ++i)
            scribbled[32 + random() % (b.size() - 32)] = static_cast<uint8_t>(random());
        Add(set.hostile, stem + "-scribbled" + ext, scribbled, false);
        Add(set.hostile, stem + "-most" + ext, Bytes(b.begin(), b.begin() + b.size() * 9 / 10),
            false);
    }
    Bytes noise(4096);
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(random());
    Add(set.hostile, folder + "/noise.jpg", noise, true);
    Add(set.hostile, folder + "/empty.png", {}, true);
    // Headers announcing 1e10, 1.2e9 and 3.6e9 pixels over a little image data.
    Add(set.hostile, folder + "/huge.png", HugePng(set.photos[2].bytes, 0x01), true);
    Add(set.hostile, folder + "/wide.png", HugePng(set.photos[2].bytes, 0x00), true);
    Add(set.hostile, folder + "/huge.jpg", HugeJpeg(set.photos[0].bytes), true);
    Add(set.hostile, folder + "/huge.bmp",
        Patched(set.photos[7].bytes, 18, {0x60, 0xEA, 0, 0, 0x60, 0xEA, 0, 0}), true);
}

inline bool MakeImages(const std::string& folder, ImageSet& set) {
    fs::create_directories(folder + "/hostile");
    for (const char* made :
         {"rose: -resize 400x300! rose-400.jpg", "rose: -resize 1600x1200! rose-1600.jpg",
          "wizard: wizard.png", "wizard: -resize 800x1000! wizard-800.jpg", "logo: logo.gif",
          "logo: -resize 1280x960! logo-1280.png", "rose: -resize 1280x960! rose-1280.webp",
          "logo: -resize 900x675! -type TrueColor logo-900.bmp"}) {
        const std::string arguments = made, name = arguments.substr(arguments.rfind(' ') + 1);
        const std::string path = folder + "/" + name;
        if (!vstest::Shell("convert " + arguments.substr(0, arguments.rfind(' ') + 1) + path))
            return false;
        const std::string bytes = vstest::ReadFile(path);
        set.photos.push_back({path, Bytes(bytes.begin(), bytes.end())});
    }
    MakeHostile(folder + "/hostile", set);
    return true;
}

// What the clients saw, shared by them.
struct Tally {
    std::mutex lock;
    std::map<std::string, std::map<uint32_t, uint64_t>> statuses;  // category -> status -> count
    std::vector<float> latencyMs;
    std::map<std::string, std::string> answers;  // "source\ncommand" -> the path GET answered
    uint64_t failures = 0;
    std::vector<std::string> samples;  // the first failures

    void Count(const std::string& category, uint32_t status, float ms) {
        std::lock_guard<std::mutex> guard(lock);
        ++statuses[category][status];
        latencyMs.push_back(ms);
    }
    void Fail(const std::string& what) {
        std::lock_guard<std::mutex> guard(lock);
        if (failures++ < 20)
            samples.push_back(what);
    }
    // The path first answered for `key`.
    std::string Answer(const std::string& key, const std::string& path) {
        std::lock_guard<std::mutex> guard(lock);
        return answers.emplace(key, path).first->second;
    }
};

// One client: one connection, its own random mix, until the deadline.
class Client {
public:
    Client(uint16_t port, const ImageSet& images, Tally& tally, int id,
           std::chrono::steady_clock::time_point deadline)
        : port_(port), images_(images), tally_(tally), deadline_(deadline), random_(1000u + id) {}

    // A quarter of the images sent are hostile.
    void Run() {
        while (std::chrono::steady_clock::now() < deadline_) {
            const int pick = Uniform(100);
            const bool hostile = Uniform(4) == 0;
            const SoakImage& image = hostile ? Pick(images_.hostile) : Pick(images_.photos);
            if (pick < 40)
                Get(image, hostile);
            else if (pick < 60)
                Exec(image, hostile);
            else if (pick < 90)
                Exec2(image, hostile);
            else if (pick < 96)
                BadFrame();
            else
                c_.Close();  // the next request comes on a new connection
        }
        c_.Close();
    }

private:
    int Uniform(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    const SoakImage& Pick(const std::vector<SoakImage>& from) {
        return from[Uniform(static_cast<int>(from.size()))];
    }
    int Width() { return 40 + 8 * (Uniform(4) == 0 ? Uniform(76) : Uniform(8)); }

    // One request; false (and counted as a failure) when no answer came.
    bool Ask(const std::string& category, const Bytes& frame, Response& r) {
        const auto start = std::chrono::steady_clock::now();
        const bool answered =
            (c_.connected() || c_.Connect("127.0.0.1", port_, 180000)) && c_.Request(frame, r);
        const std::chrono::duration<float, std::milli> took =
            std::chrono::steady_clock::now() - start;
        tally_.Count(category, answered ? r.status : kNoAnswer, answered ? took.count() : 0);
        if (!answered)
            tally_.Fail(category + ": no answer: " + c_.error()), c_.Close();
        return answered;
    }

    // Success carries an image (JPEG or PNG), or a size: of `width` x `height`
    // where these are not 0. A hostile file is refused with 2xx, though some
    // damaged copies still decode. Other failures may come of a killed worker.
    bool Check(const std::string& category, const SoakImage& image, const Response& r, bool size,
               uint32_t width = 0, uint32_t height = 0) {
        Bytes data;
        uint32_t w = 0, h = 0;
        const bool ok = size ? VsClient::PayloadSize(r, w, h) && w > 0 && h > 0 &&
                                   (width == 0 || w == width) && (height == 0 || h == height)
                             : VsClient::PayloadBinary(r, data) && data.size() > 8 &&
                                   ((data[0] == 0xFF && data[1] == 0xD8) ||
                                    (data[0] == 0x89 && data[1] == 'P'));
        if (r.status == 0 ? !ok : r.status / 100 != 2 && image.mustFail)
            tally_.Fail(category + " " + image.path + ": status " + std::to_string(r.status) +
                        (r.status == 0
                             ? " with a wrong answer " + std::to_string(w) + "x" + std::to_string(h)
                             : ""));
        return r.status == 0;
    }

    // A result path must exist, and a GET keeps its path for the whole run. A
    // source that does not exist is answered 102.
    void Get(const SoakImage& image, bool hostile) {
        static const char* const kFixed[] = {"cmd=gray", "cmd=sepia", "cmd=rotate&angle=90",
                                             "cmd=crop&x=10&y=10&w=120&h=90",
                                             "cmd=flip&vertical=true"};
        const int pick = Uniform(10);
        const std::string command = pick < 6   ? "cmd=thumb&w=" + std::to_string(Width())
                                    : pick < 8 ? "cmd=resize&w=" + std::to_string(Width())
                                               : kFixed[Uniform(5)];
        const bool missing = Uniform(10) == 0;
        const std::string source = missing ? image.path + ".none" : image.path;
        const std::string key = source + "\n" + command;
        const std::string category = missing ? "GET missing" : hostile ? "GET hostile" : "GET";
        Response r;
        std::string path;
        if (!Ask(category, VsClient::BuildGetFrame(source, command), r))
            return;
        if (missing ? r.status != 102
                    : r.status / 100 != 2 && hostile && (image.mustFail || r.status != 0))
            tally_.Fail(key + ": status " + std::to_string(r.status));
        if (missing || r.status != 0)
            return;
        if (!VsClient::PayloadBareText(r, VsClient::kEncodingUtf16, 0, path) || !fs::exists(path))
            tally_.Fail(key + ": status 0 without an existing path: " + path);
        if (const std::string first = tally_.Answer(key, path); first != path)
            tally_.Fail(key + ": answered " + path + " after " + first);
    }

    void Exec(const SoakImage& image, bool hostile) {
        const int w = Width(), pick = Uniform(3);
        const std::string width = std::to_string(w);
        const std::string script =
            pick == 0   ? "cmd=thumb&w=" + width + "\ncmd=encode&format=jpg"
            : pick == 1 ? "cmd=resize&w=" + width + "\r\ncmd=_getmetric_&info=v1"
                        : "cmd=gray\ncmd=thumb&w=" + width + "\ncmd=encode&format=png";
        Response r;
        if (Ask(hostile ? "EXEC hostile" : "EXEC",
                VsClient::BuildExecFrame(VsClient::ExecSource::kBytes, image.bytes, "", script), r))
            Check("EXEC", image, r, pick == 1, pick == 1 ? w : 0);
    }

    // Load, script, encode and mostly release; a kept image serves the
    // connection's next session of that name.
    void Exec2(const SoakImage& image, bool hostile) {
        const std::string name = "img" + std::to_string(Uniform(3));
        const bool byPath = Uniform(2) == 0, thumb = Uniform(2) == 0;
        const int w = Width();
        const std::string script =
            thumb ? "cmd=thumb&w=" + std::to_string(w)
                  : "cmd=resize&w=" + std::to_string(w) + "\ncmd=rotate&angle=90\ncmd=gray";
        const std::string encode = Uniform(2) ? "cmd=encode&format=jpg" : "cmd=encode&format=png";
        Response r;
        const bool loaded = Ask(hostile ? "EXEC2 hostile" : "EXEC2 load",
                                VsClient::BuildExec2Frame(
                                    byPath ? Exec2Kind::kLoadFile : Exec2Kind::kLoadBytes,
                                    byPath ? VsClient::Utf16z(image.path) : image.bytes, "", name),
                                r) &&
                            Check("EXEC2 load", image, r, true);
        if (loaded &&
            Ask("EXEC2 script", VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, script, name),
                r) &&
            Check("EXEC2 script", image, r, true, 0, thumb ? 0 : w) &&
            Ask("EXEC2 encode", VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, encode, name), r))
            Check("EXEC2 encode", image, r, false);
        if (hostile || Uniform(4) != 0)
            Ask("EXEC2 release", VsClient::BuildExec2Frame(Exec2Kind::kRelease, {}, "", name), r);
    }

    // An unknown verb (answered 100), a GET whose body is noise, or a frame cut
    // short by a client that goes away.
    void BadFrame() {
        Bytes noise(static_cast<size_t>(Uniform(300)));
        for (uint8_t& b : noise)
            b = static_cast<uint8_t>(random_());
        const int pick = Uniform(3);
        Response r;
        if (pick < 2 &&
            Ask(pick ? "bad GET body" : "bad verb",
                VsClient::BuildRequestFrame(pick ? "GET" : "NOSUCHVERB", 400, noise), r) &&
            (pick ? r.status == 0 : r.status != 100))
            tally_.Fail("bad frame: status " + std::to_string(r.status));
        if (pick == 2 && (c_.connected() || c_.Connect("127.0.0.1", port_, 180000))) {
            Bytes frame = VsClient::BuildGetFrame(images_.photos[0].path, "cmd=gray");
            c_.Send(Bytes(frame.begin(), frame.begin() + frame.size() / 2));
            c_.Close();
        }
    }

private:
    const uint16_t port_;
    const ImageSet& images_;
    Tally& tally_;
    const std::chrono::steady_clock::time_point deadline_;
    std::mt19937 random_;
    VsClient::Connection c_;
};

}  // namespace Soak
