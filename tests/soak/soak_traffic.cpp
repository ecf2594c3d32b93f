#include "soak/soak_traffic.h"

#include <sys/stat.h>

#include <random>

#include "client/connection.h"
#include "client/verb_requests.h"

namespace Soak {

using VsClient::Exec2Kind;
using VsClient::ExecSource;
using VsClient::Response;

void Tally::Fail(const std::string& what) {
    ++failures;
    if (failureSamples.size() < 20)
        failureSamples.push_back(what);
}

void Tally::Merge(const Tally& other) {
    for (const auto& [category, counts] : other.statuses)
        for (const auto& [status, count] : counts)
            statuses[category][status] += count;
    for (const auto& [category, values] : other.latencyMs)
        latencyMs[category].insert(latencyMs[category].end(), values.begin(), values.end());
    for (const auto& [key, path] : other.answers) {
        auto [it, inserted] = answers.emplace(key, path);
        if (!inserted && it->second != path)
            ++changedAnswers;
    }
    changedAnswers += other.changedAnswers;
    missingResults += other.missingResults;
    failures += other.failures;
    for (const std::string& f : other.failureSamples)
        if (failureSamples.size() < 40)
            failureSamples.push_back(f);
}

bool Gate::Pass(VsClient::Connection& connection) {
    std::unique_lock<std::mutex> guard(lock_);
    if (closed_ && !ended_) {
        connection.Close();
        ++parked_;
        changed_.notify_all();
        changed_.wait(guard, [this] { return !closed_ || ended_; });
        --parked_;
    }
    return !ended_;
}

bool Gate::CloseAndWait(int clients, std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    closed_ = true;
    return changed_.wait_for(guard, timeout, [&] { return parked_ == clients; });
}

void Gate::Open() {
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = false;
    changed_.notify_all();
}

void Gate::End() {
    std::lock_guard<std::mutex> guard(lock_);
    ended_ = true;
    changed_.notify_all();
}

namespace {

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool IsImage(const Response& r) {
    std::vector<uint8_t> data;
    return VsClient::PayloadBinary(r, data) && data.size() > 8 &&
           ((data[0] == 0xFF && data[1] == 0xD8) || (data[0] == 0x89 && data[1] == 'P'));
}

bool IsSize(const Response& r) {
    uint32_t w = 0, h = 0;
    return VsClient::PayloadSize(r, w, h) && w > 0 && h > 0;
}

class Client {
public:
    Client(int id, const TrafficSetup& setup, Gate& gate, std::mutex& keysLock,
           std::set<std::string>& askedKeys, Tally& tally)
        : setup_(setup),
          gate_(gate),
          keysLock_(keysLock),
          askedKeys_(askedKeys),
          tally_(tally),
          random_(1000u + static_cast<unsigned>(id)) {}

    void Run() {
        // Bounded in count as well as in time.
        for (int n = 0; n < 10000000 && gate_.Pass(connection_); ++n) {
            if (std::chrono::steady_clock::now() >= setup_.deadline)
                break;
            const int pick = Uniform(100);
            if (pick < 30)
                Get();
            else if (pick < 34)
                GetMissing();
            else if (pick < 42)
                GetHostile();
            else if (pick < 56)
                Exec();
            else if (pick < 62)
                ExecHostile();
            else if (pick < 86)
                Exec2();
            else if (pick < 94)
                Exec2Hostile();
            else
                connection_.Close();  // the next request comes on a new connection
        }
        connection_.Close();
    }

private:
    int Uniform(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    const SoakImage& Photo() { return setup_.images->photos[Uniform(Count(false))]; }
    const SoakImage& Hostile() { return setup_.images->hostile[Uniform(Count(true))]; }
    int Count(bool hostile) const {
        return static_cast<int>(hostile ? setup_.images->hostile.size()
                                        : setup_.images->photos.size());
    }
    int Width() { return 40 + 8 * (Uniform(4) == 0 ? Uniform(76) : Uniform(8)); }

    // One request; false (and counted) when no response frame came.
    bool Ask(const std::string& category, const std::vector<uint8_t>& frame, Response& r) {
        if (!connection_.connected() &&
            !connection_.Connect("127.0.0.1", setup_.port, setup_.timeoutMs)) {
            ++tally_.statuses[category][kNoConnection];
            tally_.Fail(category + ": connect failed: " + connection_.error());
            return false;
        }
        const auto start = std::chrono::steady_clock::now();
        if (!connection_.Request(frame, r)) {
            ++tally_.statuses[category][kNoAnswer];
            tally_.Fail(category + ": no answer: " + connection_.error());
            connection_.Close();
            return false;
        }
        const std::chrono::duration<float, std::milli> took =
            std::chrono::steady_clock::now() - start;
        ++tally_.statuses[category][r.status];
        tally_.latencyMs[category].push_back(took.count());
        return true;
    }

    // A hostile input is refused with 2xx (scribbled copies may decode).
    void CheckHostile(const std::string& category, const SoakImage& image, const Response& r) {
        const bool refused = r.status >= 200 && r.status < 300;
        if (!refused && (image.mustFail || r.status != 0))
            tally_.Fail(category + " " + image.label + ": status " + std::to_string(r.status));
    }

    void CheckAnswer(const std::string& category, const Response& r, bool image) {
        if (r.status == 0 && !(image ? IsImage(r) : IsSize(r)))
            tally_.Fail(category + ": status 0 without " + (image ? "an image" : "a size"));
    }

    void Get();
    void RecordResult(const std::string& category, const std::string& key, const Response& r);
    void GetMissing();
    void GetHostile();
    void Exec();
    void ExecHostile();
    void Exec2();
    void Exec2Hostile();

    const TrafficSetup& setup_;
    Gate& gate_;
    std::mutex& keysLock_;
    std::set<std::string>& askedKeys_;
    Tally& tally_;
    std::mt19937 random_;
    VsClient::Connection connection_;
};

void Client::Get() {
    static const char* const kFixed[] = {"cmd=gray", "cmd=sepia", "cmd=rotate&angle=90",
                                         "cmd=crop&x=10&y=10&w=120&h=90", "cmd=flip&vertical=true"};
    const SoakImage& photo = Photo();
    std::string command;
    const int pick = Uniform(10);
    if (pick < 6)
        command = "cmd=thumb&w=" + std::to_string(Width());
    else if (pick < 8)
        command = "cmd=resize&w=" + std::to_string(Width());
    else
        command = kFixed[Uniform(5)];
    const std::string key = photo.path + "\n" + command;
    bool repeat;
    {
        std::lock_guard<std::mutex> guard(keysLock_);
        repeat = !askedKeys_.insert(key).second;
    }
    Response r;
    const std::string category = repeat ? "GET repeat" : "GET new";
    if (Ask(category, VsClient::BuildGetFrame(photo.path, command), r) && r.status == 0)
        RecordResult(category, key, r);
}

void Client::RecordResult(const std::string& category, const std::string& key, const Response& r) {
    std::string path;
    if (!VsClient::PayloadBareText(r, VsClient::kEncodingUtf16, 0, path)) {
        tally_.Fail(category + ": status 0 without a path");
        return;
    }
    if (!FileExists(path)) {
        ++tally_.missingResults;
        tally_.Fail(category + ": answered a missing file " + path);
    }
    auto [it, inserted] = tally_.answers.emplace(key, path);
    if (!inserted && it->second != path) {
        ++tally_.changedAnswers;
        tally_.Fail(category + ": " + key + " answered " + path + " after " + it->second);
    }
}

void Client::GetMissing() {
    Response r;
    const std::string source =
        setup_.missingFolder + "/missing-" + std::to_string(Uniform(10)) + ".jpg";
    if (Ask("GET missing", VsClient::BuildGetFrame(source, "cmd=thumb&w=64"), r) && r.status != 102)
        tally_.Fail("GET missing: status " + std::to_string(r.status));
}

void Client::GetHostile() {
    const SoakImage& image = Hostile();
    Response r;
    if (!Ask("GET hostile", VsClient::BuildGetFrame(image.path, "cmd=thumb&w=100"), r))
        return;
    CheckHostile("GET hostile", image, r);
    // A scribbled copy that decodes is cached like any other result.
    if (r.status == 0)
        RecordResult("GET hostile", image.path + "\ncmd=thumb&w=100", r);
}

void Client::Exec() {
    const SoakImage& photo = Photo();
    const std::string w = std::to_string(Width());
    const int pick = Uniform(3);
    const std::string script = pick == 0 ? "cmd=thumb&w=" + w + "\ncmd=encode&format=jpg&quality=80"
                               : pick == 1
                                   ? "cmd=resize&w=" + w + "\r\ncmd=_getmetric_&info=v1"
                                   : "cmd=gray\ncmd=thumb&w=" + w + "\ncmd=encode&format=png";
    Response r;
    if (Ask("EXEC", VsClient::BuildExecFrame(ExecSource::kBytes, photo.bytes, "", script), r))
        CheckAnswer("EXEC", r, pick != 1);
}

void Client::ExecHostile() {
    const SoakImage& image = Hostile();
    Response r;
    const std::string script = "cmd=thumb&w=100\ncmd=encode&format=jpg";
    if (Ask("EXEC hostile", VsClient::BuildExecFrame(ExecSource::kBytes, image.bytes, "", script),
            r))
        CheckHostile("EXEC hostile", image, r);
}

void Client::Exec2() {
    const SoakImage& photo = Photo();
    const std::string name = "img" + std::to_string(Uniform(3));
    Response r;
    const bool byPath = Uniform(2) == 0;
    if (!Ask("EXEC2 load",
             VsClient::BuildExec2Frame(byPath ? Exec2Kind::kLoadFile : Exec2Kind::kLoadBytes,
                                       byPath ? VsClient::Utf16z(photo.path) : photo.bytes, "",
                                       name),
             r))
        return;
    CheckAnswer("EXEC2 load", r, false);
    const std::string w = std::to_string(Width());
    const std::string script =
        Uniform(2) ? "cmd=thumb&w=" + w : "cmd=resize&w=" + w + "\ncmd=rotate&angle=90\ncmd=gray";
    if (!Ask("EXEC2 script", VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, script, name), r))
        return;
    CheckAnswer("EXEC2 script", r, false);
    const std::string encode =
        Uniform(2) ? "cmd=encode&format=jpg&quality=85" : "cmd=encode&format=png";
    if (!Ask("EXEC2 encode", VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, encode, name), r))
        return;
    CheckAnswer("EXEC2 encode", r, true);
    // Some sessions keep their image for the connection's next request.
    if (Uniform(4) != 0)
        Ask("EXEC2 release", VsClient::BuildExec2Frame(Exec2Kind::kRelease, {}, "", name), r);
}

void Client::Exec2Hostile() {
    const SoakImage& image = Hostile();
    Response r;
    if (!Ask("EXEC2 hostile",
             VsClient::BuildExec2Frame(Exec2Kind::kLoadBytes, image.bytes, "", "bad"), r))
        return;
    CheckHostile("EXEC2 hostile", image, r);
    Ask("EXEC2 release", VsClient::BuildExec2Frame(Exec2Kind::kRelease, {}, "", "bad"), r);
}

}  // namespace

Traffic::Traffic(TrafficSetup setup) : setup_(std::move(setup)) {}

Traffic::~Traffic() {
    Finish();
}

void Traffic::Start() {
    tallies_.resize(static_cast<size_t>(setup_.connections));
    for (int i = 0; i < setup_.connections; ++i)
        threads_.emplace_back([this, i] {
            Client(i, setup_, gate_, shared_.lock, shared_.askedKeys, tallies_[i]).Run();
        });
}

Tally Traffic::Finish() {
    gate_.End();
    for (std::thread& t : threads_)
        t.join();
    threads_.clear();
    Tally total;
    for (const Tally& t : tallies_)
        total.Merge(t);
    return total;
}

}  // namespace Soak
