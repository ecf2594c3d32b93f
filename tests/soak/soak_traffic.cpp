// The soak's pictures and clients. Each client keeps one connection and sends
// a random mix of GET (new and repeated results, missing sources, hostile
// files), EXEC from image bytes, EXEC2 sessions and malformed frames, and
// checks every answer it gets.
#include <zlib.h>

#include <filesystem>
#include <random>

#include "client/connection.h"
#include "client/verb_requests.h"
#include "soak/soak.h"
#include "support/temp_dir.h"

namespace Soak {

namespace fs = std::filesystem;
using VsClient::Exec2Kind;
using VsClient::Response;
using Bytes = std::vector<uint8_t>;

namespace {

void PutBigEndian(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// A well-formed PNG announcing side x side pixels with a few bytes of image
// data: it must be refused before the memory is taken.
Bytes HugePng(uint32_t side) {
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&](const char* type, const Bytes& data) {
        PutBigEndian(png, static_cast<uint32_t>(data.size()));
        const size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        PutBigEndian(png, static_cast<uint32_t>(crc32(0, &png[start], png.size() - start)));
    };
    Bytes header;
    PutBigEndian(header, side);
    PutBigEndian(header, side);
    header.insert(header.end(), {8, 6, 0, 0, 0});
    chunk("IHDR", header);
    chunk("IDAT", {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01});
    chunk("IEND", {});
    return png;
}

// The JPEG with its frame header announcing 60000 x 60000 pixels.
Bytes HugeJpeg(Bytes jpeg) {
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = 0xEA, jpeg[i + 6] = 0x60, jpeg[i + 7] = 0xEA, jpeg[i + 8] = 0x60;
            break;
        }
    return jpeg;
}

// A 24-bit BMP header for 60000 x 60000 followed by a few pixels.
Bytes HugeBmp() {
    Bytes bmp(54 + 64, 0);
    for (auto [at, value] : {std::pair{2, 118}, {10, 54}, {14, 40}, {18, 60000}, {22, 60000}})
        for (int k = 0; k < 4; ++k)
            bmp[at + k] = static_cast<uint8_t>(value >> (8 * k));
    bmp[0] = 'B', bmp[1] = 'M', bmp[26] = 1, bmp[28] = 24;
    return bmp;
}

void Add(std::vector<SoakImage>& to, const std::string& path, const Bytes& bytes, bool mustFail) {
    vstest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    to.push_back({path, bytes, mustFail});
}

// Cut short, scribbled over, random bytes, nothing, and headers announcing
// enormous images.
void MakeHostile(const std::string& folder, ImageSet& set) {
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
    Add(set.hostile, folder + "/huge.png", HugePng(100000), true);
    Add(set.hostile, folder + "/wide.png", HugePng(30000), true);
    Add(set.hostile, folder + "/huge.jpg", HugeJpeg(set.photos[0].bytes), true);
    Add(set.hostile, folder + "/huge.bmp", HugeBmp(), true);
}

}  // namespace

bool MakeImages(const std::string& folder, ImageSet& set) {
    fs::create_directories(folder + "/hostile");
    for (const char* made :
         {"rose: -resize 400x300! rose-400.jpg", "rose: -resize 1600x1200! rose-1600.jpg",
          "wizard: wizard.png", "wizard: -resize 800x1000! wizard-800.jpg", "logo: logo.gif",
          "logo: -resize 1280x960! logo-1280.png", "rose: -resize 1280x960! rose-1280.webp",
          "logo: -resize 900x675! -type TrueColor logo-900.bmp"}) {
        const std::string arguments = made, name = arguments.substr(arguments.rfind(' ') + 1);
        const std::string path = folder + "/" + name;
        const std::string command =
            "convert " + arguments.substr(0, arguments.rfind(' ') + 1) + path + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            return false;
        const std::string bytes = vstest::ReadFile(path);
        set.photos.push_back({path, Bytes(bytes.begin(), bytes.end())});
    }
    MakeHostile(folder + "/hostile", set);
    return true;
}

void Tally::Fail(const std::string& what) {
    if (failures++ < 20)
        samples.push_back(what);
}

void Tally::Merge(const Tally& other) {
    for (const auto& [category, counts] : other.statuses)
        for (const auto& [status, count] : counts)
            statuses[category][status] += count;
    latencyMs.insert(latencyMs.end(), other.latencyMs.begin(), other.latencyMs.end());
    for (const auto& [key, path] : other.answers)
        if (!answers.emplace(key, path).second && answers[key] != path)
            Fail("GET " + key + " answered " + path + " and " + answers[key]);
    failures += other.failures;
    samples.insert(samples.end(), other.samples.begin(),
                   other.samples.begin() + std::min<size_t>(other.samples.size(), 5));
}

namespace {

class Client {
public:
    Client(Traffic& traffic, int id, Tally& tally)
        : t_(traffic), tally_(tally), random_(1000u + static_cast<unsigned>(id)) {}

    // A quarter of the images sent are hostile.
    void Run() {
        while (t_.Pass(c_) && std::chrono::steady_clock::now() < t_.deadline) {
            const int pick = Uniform(100);
            const bool hostile = Uniform(4) == 0;
            const SoakImage& image = hostile ? Pick(t_.images.hostile) : Pick(t_.images.photos);
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
        if ((c_.connected() || c_.Connect("127.0.0.1", t_.port, 180000)) && c_.Request(frame, r)) {
            ++tally_.statuses[category][r.status];
            tally_.latencyMs.push_back(
                std::chrono::duration<float, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            return true;
        }
        ++tally_.statuses[category][kNoAnswer];
        tally_.Fail(category + ": no answer: " + c_.error());
        c_.Close();
        return false;
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

    void Get(const SoakImage& image, bool hostile);
    void Exec(const SoakImage& image, bool hostile);
    void Exec2(const SoakImage& image, bool hostile);
    void BadFrame();

    Traffic& t_;
    Tally& tally_;
    std::mt19937 random_;
    VsClient::Connection c_;
};

// A result path must exist, and a GET keeps its path for the whole run. A
// source that does not exist is answered 102.
void Client::Get(const SoakImage& image, bool hostile) {
    static const char* const kFixed[] = {"cmd=gray", "cmd=sepia", "cmd=rotate&angle=90",
                                         "cmd=crop&x=10&y=10&w=120&h=90", "cmd=flip&vertical=true"};
    const int pick = Uniform(10);
    const std::string command = pick < 6   ? "cmd=thumb&w=" + std::to_string(Width())
                                : pick < 8 ? "cmd=resize&w=" + std::to_string(Width())
                                           : kFixed[Uniform(5)];
    const bool missing = Uniform(10) == 0;
    const std::string source = missing ? image.path + ".none" : image.path;
    const std::string key = source + "\n" + command;
    const std::string category = missing            ? "GET missing"
                                 : hostile          ? "GET hostile"
                                 : t_.FirstAsk(key) ? "GET new"
                                                    : "GET repeat";
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
    auto [it, added] = tally_.answers.emplace(key, path);
    if (!added && it->second != path)
        tally_.Fail(key + ": answered " + path + " after " + it->second);
}

void Client::Exec(const SoakImage& image, bool hostile) {
    const int w = Width(), pick = Uniform(3);
    const std::string width = std::to_string(w);
    const std::string script = pick == 0 ? "cmd=thumb&w=" + width + "\ncmd=encode&format=jpg"
                               : pick == 1
                                   ? "cmd=resize&w=" + width + "\r\ncmd=_getmetric_&info=v1"
                                   : "cmd=gray\ncmd=thumb&w=" + width + "\ncmd=encode&format=png";
    Response r;
    if (Ask(hostile ? "EXEC hostile" : "EXEC",
            VsClient::BuildExecFrame(VsClient::ExecSource::kBytes, image.bytes, "", script), r))
        Check("EXEC", image, r, pick == 1, pick == 1 ? w : 0);
}

// Load, script, encode and mostly release; a kept image serves the
// connection's next session of that name.
void Client::Exec2(const SoakImage& image, bool hostile) {
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
        Ask("EXEC2 script", VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, script, name), r) &&
        Check("EXEC2 script", image, r, true, 0, thumb ? 0 : w) &&
        Ask("EXEC2 encode", VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, encode, name), r))
        Check("EXEC2 encode", image, r, false);
    if (hostile || Uniform(4) != 0)
        Ask("EXEC2 release", VsClient::BuildExec2Frame(Exec2Kind::kRelease, {}, "", name), r);
}

// An unknown verb (answered 100), a GET whose body is noise, or a frame cut
// short by a client that goes away.
void Client::BadFrame() {
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
    if (pick == 2 && (c_.connected() || c_.Connect("127.0.0.1", t_.port, 180000))) {
        Bytes frame = VsClient::BuildGetFrame(t_.images.photos[0].path, "cmd=gray");
        c_.Send(Bytes(frame.begin(), frame.begin() + frame.size() / 2));
        c_.Close();
    }
}

}  // namespace

Traffic::Traffic(uint16_t port, const ImageSet& images, int connections,
                 std::chrono::steady_clock::time_point deadline)
    : port(port), images(images), deadline(deadline) {
    tallies_.resize(static_cast<size_t>(connections));
    for (int i = 0; i < connections; ++i)
        threads_.emplace_back([this, i] { Client(*this, i, tallies_[i]).Run(); });
}

bool Traffic::Pass(VsClient::Connection& connection) {
    std::unique_lock<std::mutex> guard(lock_);
    if (parked_ && !ended_) {
        connection.Close();
        ++waiting_;
        changed_.notify_all();
        changed_.wait(guard, [this] { return !parked_ || ended_; });
        --waiting_;
    }
    return !ended_;
}

bool Traffic::Park(std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    parked_ = true;
    return changed_.wait_for(guard, timeout,
                             [this] { return waiting_ == static_cast<int>(threads_.size()); });
}

void Traffic::Resume() {
    std::lock_guard<std::mutex> guard(lock_);
    parked_ = false;
    changed_.notify_all();
}

bool Traffic::FirstAsk(const std::string& key) {
    std::lock_guard<std::mutex> guard(lock_);
    return asked_.insert(key).second;
}

Tally Traffic::Finish() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ended_ = true;
        changed_.notify_all();
    }
    for (std::thread& t : threads_)
        t.join();
    threads_.clear();
    Tally total;
    for (const Tally& t : tallies_)
        total.Merge(t);
    return total;
}

}  // namespace Soak
