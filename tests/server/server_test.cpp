// The real server on loopback with a verb table of test commands: what it
// answers, the bounds a client meets, its I/O threads without a worker, what
// child processes inherit, and its housekeeping on a real module folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "client/connection.h"
#include "client/request_builder.h"
#include "client/verb_requests.h"
#include "platform/text.h"
#include "server/asio_server.h"
#include "server/body_strings.h"
#include "server/command_registry.h"
#include "server/housekeeping.h"
#include "server/response_builders.h"
#include "server/test_folder.h"
#include "support/text_count.h"

using Vs5Server::RequestContext;
using Vs5Server::ResponseBuffer;
using VsClient::BuildRequestFrame;
using VsClient::Response;
using VsClient::Utf16z;
using vstest::CountOf;
using Bytes = std::vector<uint8_t>;
using namespace std::string_literals;

namespace {

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
void RegisterTestVerbs(Vs5Server::CommandRegistry& r) {
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
        b.encoding() == 400 ? Vs5Server::BuildTextResponse(out, 0, all)
                            : Vs5Server::BuildCodePageTextResponse(out, b.codePage(), 0, all);
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

private:
    TestModuleFolder folder_;
    Vs5Server::CommandRegistry registry_;
    Vs5Platform::ManualResetEvent stop_;
    std::unique_ptr<Vs5Server::CAsioVs5Server> server_;
};

bool Ask(VsClient::Connection& c, const char* verb, Response& r,
         const std::vector<uint8_t>& body = {}) {
    return c.Request(VsClient::BuildRequestFrame(verb, 400, body), r);
}

bool Contains(const std::string& text, const std::string& s) {
    return text.find(s) != text.npos;
}

std::string TypedText(const Response& r) {
    return r.payload.size() < 2
               ? ""
               : VsClient::DecodeUtf16z(r.payload.data() + 2, r.payload.size() - 2);
}

// The sum of the numbers in the "# N more connections were rejected." lines.
unsigned HeldBack(const std::string& log) {
    unsigned total = 0;
    const std::string tail = " more connections were rejected.\r\n";
    for (size_t at = log.find(tail); at != std::string::npos; at = log.find(tail, at + 1))
        total += static_cast<unsigned>(strtoul(log.c_str() + log.rfind("# ", at) + 2, nullptr, 10));
    return total;
}

struct CountingCache : Vs5Util::CacheMaintenance {
    void Invalidate() override { ++invalidations; }
    void ReportStatistics() override { ++reports; }
    Vs5Util::DanglingFileQueue* danglingFiles() override { return &queue; }
    std::atomic<int> invalidations{0}, reports{0};
    Vs5Util::DanglingFileQueue queue;
};

std::string Touch(const std::string& path) {
    return vstest::WriteFile(path, "x"), path;
}

// Gives the I/O threads a stand-in worker, except the threads whose turn
// (counted from 0 in start order) is in `failing`.
class TestEnvironment : public Vs5Server::IoThreadEnvironment {
public:
    explicit TestEnvironment(std::vector<bool> failing) : failing_(std::move(failing)) {}
    bool StartThread(Vs5Server::CTlsContainer& tls) override {
        if (failing_[started++])
            return false;
        tls.worker = reinterpret_cast<Vs5Worker::CWorkerProcess*>(&failing_);  // only its address
        return true;
    }
    void StopThread(Vs5Server::CTlsContainer& tls) override { stopped += tls.worker != nullptr; }
    std::atomic<size_t> started{0}, stopped{0};

private:
    std::vector<bool> failing_;
};

}  // namespace

// First in its program: the process-wide counter has seen no connection yet.
// The id belongs to the connection, not to the request. Connections beyond
// MaxConnections are closed at once.
TEST(RequestIds, CountEveryAcceptedConnectionFrom1001UpToTheLimit) {
    RunningServer s("[Server]\nMaxConnections=2\n");
    ASSERT_TRUE(s.Start());
    VsClient::Connection first, second, third;
    Response r;
    for (auto [c, id] : {std::pair{&first, "1001"}, {&first, "1001"}, {&second, "1002"}}) {
        ASSERT_TRUE((c->connected() || s.Connect(*c)) && Ask(*c, "WHO", r));
        EXPECT_EQ(TypedText(r), id + " 127.0.0.1 none"s);
    }
    ASSERT_TRUE(s.Connect(third));
    EXPECT_TRUE(third.WaitForClose(10000));
    EXPECT_TRUE(Contains(s.requestLog(),
                         "# The connection from 127.0.0.1 was rejected: 2 "
                         "connections are open.\r\n"));
    // A closed connection makes room again.
    first.Close();
    EXPECT_TRUE(WaitFor([&] {
        VsClient::Connection another;
        return s.Connect(another) && Ask(another, "WHO", r);
    }));
}

TEST(Server, EveryFrameIsAnsweredInOrderAndNoSocketIsInherited) {
    RunningServer s;
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    Response r;
    // Verbs match exactly; anything else is answered and the connection stays open.
    for (const char* verb : {"NOSUCH", "who", "WHOX", "WH", "", "GET"}) {
        ASSERT_TRUE(Ask(c, verb, r)) << c.error();
        EXPECT_TRUE(r.status == 100 && r.payload.empty()) << verb;  // unknown: no payload
    }
    // One byte per segment.
    for (uint8_t b : BuildRequestFrame("ECHO", 400, {1, 2, 3, 4, 5})) {
        ASSERT_TRUE(c.Send({b}));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(c.Receive(r));
    EXPECT_EQ(r.payload, (Bytes{2, 0, 5, 0, 0, 0, 1, 2, 3, 4, 5}));

    // A large body arrives in many reads.
    Bytes big(200000, 7);
    big.back() = 8;
    ASSERT_TRUE(Ask(c, "ECHO", r, big));
    EXPECT_EQ(Bytes(r.payload.begin() + 6, r.payload.end()), big);

    // Worker processes and tools are started from this process; what a started
    // program holds open shows in its descriptor table: neither the listener
    // nor this client.
    FILE* child = popen("ls -l /proc/self/fd", "r");
    ASSERT_NE(child, nullptr);
    std::string listing(4096, '\0');
    listing.resize(fread(listing.data(), 1, listing.size(), child));
    pclose(child);
    EXPECT_TRUE(Contains(listing, "/proc/"));  // the listing itself
    EXPECT_FALSE(Contains(listing, "socket:")) << listing;
}

TEST(Server, BodyStringsAreReadAndAnsweredInTheRequestEncoding) {
    struct Case {
        uint32_t encoding, codePage;
        std::string body;
        uint32_t status;
        Bytes payload;
    } cases[] = {
        {400, 0, "C\0:\0/\0\x5C\xD5\0\0x\0\0\0\0\0"s, 0, Utf16z("C:/\xED\x95\x9C|x|")},
        {400, 0, "a\0b\0"s, 0, Utf16z("ab||")},  // a string without its NUL ends with the frame
        {401, 949, "C:/\xC7\xD1\0w=1\0\0"s, 0,
         Bytes({'C', ':', '/', 0xC7, 0xD1, '|', 'w', '=', '1', '|', 0})},
        {401, 65001, "x\0y"s, 0, Bytes({'x', '|', 'y', '|', 0})},
        {401, 12345, "x\0"s, 101, {}},  // no such code page
        {402, 0, "x\0"s, 101, {}},      // no strings in this encoding
    };
    RunningServer s;
    ASSERT_TRUE(s.Start());
    VsClient::Connection c;
    ASSERT_TRUE(s.Connect(c));
    for (const Case& k : cases) {
        // Each frame is followed by another in the same segment: a string
        // must end with its own frame, not run into the next one.
        Bytes two =
            BuildRequestFrame("STRS", k.encoding, Bytes(k.body.begin(), k.body.end()), k.codePage);
        Bytes next = BuildRequestFrame("NOPE", 400, {'z', 0});
        two.insert(two.end(), next.begin(), next.end());
        Response r;
        ASSERT_TRUE(c.Send(two) && c.Receive(r)) << k.encoding << " " << k.codePage;
        EXPECT_EQ(r.status, k.status) << k.encoding << " " << k.codePage;
        EXPECT_EQ(r.payload, k.payload) << k.encoding << " " << k.codePage;
        ASSERT_TRUE(c.Receive(r));
        EXPECT_TRUE(r.status == 100 && r.payload.empty());
    }
}

// MaxRequestSize counts the whole frame in MiB (below 1 it reads as the
// default 128: see the settings table). MaxBufferedRequests caps the bytes
// held for unfinished requests.
TEST(ServerLimits, RequestSizesAtTheirBoundaries) {
    struct Case {
        std::string ini;
        uint32_t bodyBytes;
        const char* logged;  // the frame size logged as too large; null: answered
    } cases[] = {
        {"MaxRequestSize=1\nMaxBufferedRequests=1", 1048576 - 36, nullptr},
        {"MaxRequestSize=1", 1048577 - 36, "1048577"},
        // The largest announcement does not wrap round to a short frame.
        {"", 0xFFFFFFFF, "4294967331"},
    };
    const std::string tooLarge = "# The request from 127.0.0.1 was too large (";
    for (const Case& k : cases) {
        RunningServer s("[Server]\n" + k.ini + "\n");
        ASSERT_TRUE(s.Start());
        VsClient::Connection c;
        ASSERT_TRUE(s.Connect(c));
        Response r;
        Bytes frame = BuildRequestFrame("ECHO", 400, Bytes(k.bodyBytes >> 30 ? 0 : k.bodyBytes, 3));
        for (int i = 0; i < 4; ++i)  // the announced length, sent or not
            frame[32 + i] = uint8_t(k.bodyBytes >> (8 * i));
        bool answered = c.Request(frame, r);
        EXPECT_EQ(answered, k.logged == nullptr) << k.ini;
        EXPECT_EQ(answered ? r.payload.size() : 0u, answered ? k.bodyBytes + 6 : 0u) << k.ini;
        if (!answered) {
            s.Stop();
            EXPECT_TRUE(Contains(s.requestLog(), tooLarge + k.logged + " bytes).\r\n")) << k.ini;
        }
    }
}

// MaxBufferedRequests holds across connections: two frames of 600 KiB that
// both wait for their last byte do not fit in 1 MiB. Which one is refused
// depends on how their reads interleave (both may be, when both are over).
TEST(ServerLimits, BufferedBytesAreCappedAcrossConnections) {
    RunningServer s("[Server]\nMaxBufferedRequests=1\n");
    ASSERT_TRUE(s.Start());
    const Bytes frame = BuildRequestFrame("ECHO", 400, Bytes(600 << 10, 3));
    VsClient::Connection c[2];
    for (VsClient::Connection& one : c)
        ASSERT_TRUE(s.Connect(one) && one.Send(Bytes(frame.begin(), frame.end() - 1)));
    const std::string refused = "was too large (614436 bytes).\r\n";
    ASSERT_TRUE(WaitFor([&] { return CountOf(s.requestLog(), refused) >= 1; }));
    size_t answered = 0;
    for (VsClient::Connection& one : c) {
        Response r;
        answered += one.Send(Bytes(1, frame.back())) && one.Receive(r) && r.status == 0;
    }
    s.Stop();
    EXPECT_LE(answered, 1u);
    EXPECT_EQ(CountOf(s.requestLog(), refused), 2 - answered);
}

// A connection lives for the idle period after its last answer, and a frame
// must be complete within the idle period from its first byte.
TEST(ServerLimits, IdleAndSlowConnectionsAreClosed) {
    RunningServer s;
    s.server().SetIdleTimeoutForTesting(std::chrono::milliseconds(400));
    ASSERT_TRUE(s.Start());
    VsClient::Connection quiet, busy, trickle;
    ASSERT_TRUE(s.Connect(quiet) && s.Connect(busy) && s.Connect(trickle));
    Bytes frame = BuildRequestFrame("WHO", 400, Bytes(400, 0));
    Response r;
    // For about twice the idle period: a request every 150 ms on one, a
    // byte every 50 ms on the other (which would move a per-byte deadline).
    for (size_t i = 0; i < 18; ++i) {
        (void)trickle.Send({frame[i]});
        if (i % 3 == 0) {
            EXPECT_TRUE(Ask(busy, "WHO", r)) << i;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(Ask(busy, "WHO", r));
    EXPECT_TRUE(quiet.WaitForClose(10000));
    EXPECT_TRUE(trickle.WaitForClose(10000));
}

// The permit list is checked before anything is read. At most ten rejection
// lines a second; the rest are summed up each minute.
TEST(ServerLimits, RejectionLinesArePacedAndTheRestSummedUp) {
    RunningServer s("[Server]\nAccessPermit=10.1.2.3\n");
    std::atomic<int64_t> ms{1000000};
    s.server().SetRejectionClockForTesting([&ms] {
        return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms.load()));
    });
    Vs5Server::HousekeepingTimings timings;
    timings.minuteMs = 100;
    s.server().SetHousekeepingTimings(timings);
    ASSERT_TRUE(s.Start());
    // 12 in the first second, 3 more just before it ends, 12 as the next begins.
    for (auto [step, refused] : {std::pair{0, 12}, {999, 3}, {1, 12}}) {
        ms += step;
        for (int i = 0; i < refused; ++i) {
            VsClient::Connection c;
            EXPECT_TRUE(s.Connect(c) && c.WaitForClose(10000));
        }
    }
    EXPECT_TRUE(WaitFor([&] { return HeldBack(s.requestLog()) == 7; })) << HeldBack(s.requestLog());
    EXPECT_EQ(CountOf(s.requestLog(), "# The connection from 127.0.0.1 was rejected.\r\n"), 20u);
}

TEST(Server, ThreadsWithoutAWorkerServeNothingAndTheOthersServeAll) {
    RunningServer s;
    TestEnvironment env({true, false});
    s.server().SetIoThreadEnvironment(&env);
    s.server().SetIoThreadCount(2);
    ASSERT_TRUE(s.Start());
    EXPECT_EQ(s.server().servingThreads(), 1);
    // Every request lands on the thread that has its worker, and a throwing
    // command costs only its own connection.
    for (int i = 0; i < 6; ++i) {
        VsClient::Connection c;
        Response r;
        ASSERT_TRUE(s.Connect(c) && Ask(c, "WHO", r));
        EXPECT_TRUE(TypedText(r).ends_with(" worker")) << TypedText(r);
        EXPECT_TRUE(i != 2 ||
                    (c.Send(BuildRequestFrame("THROW", 400, {})) && c.WaitForClose(10000)));
    }
    s.Stop();
    EXPECT_EQ(env.started.load(), 2u);
    EXPECT_EQ(env.stopped.load(), 1u);  // only the started one is stopped
    EXPECT_TRUE(
        Contains(s.folder().systemLog(), "The request from 127.0.0.1 failed: test command failed"));
    // With no thread that has its worker the server does not start: the server
    // program run without its worker program shows that (ServiceProcess).
}

TEST(IoThreadCount, ProcessorsCappedByTheSetting) {
    for (auto [processors, setting, expected] :
         {std::tuple{16, 0, 6}, {4, 10, 4}, {16, 2, 2}, {2, -1, 2}, {0, 0, 1}})
        EXPECT_EQ(Vs5Server::IoThreadCount(processors, setting), expected)
            << processors << " " << setting;
}

TEST(Housekeeping, QueuedFilesAreDeletedAndMinuteStepsRunOnTheirMultiples) {
    TestModuleFolder folder("[Server]\nKeepLogDay=0\n");
    CountingCache cache;
    std::string base = folder.path() + "/TempFiles/";
    // A folder cannot be unlinked: it fails with an error other than "missing".
    std::string stuck = base + "stuck";
    mkdir(stuck.c_str(), 0700);
    for (std::string path : {Touch(base + "a.jpg"), base + "missing.jpg", base + "no/c.jpg", stuck,
                             Touch(base + "b.jpg")})
        cache.queue.Push(path);
    EXPECT_EQ(Vs5Server::RemoveQueuedFiles(cache.queue, folder.config(), 0), 2);
    EXPECT_FALSE(vstest::Exists(base + "a.jpg") || vstest::Exists(base + "b.jpg"));
    EXPECT_EQ(cache.queue.Snapshot(), (std::vector<std::string>{stuck}));
    // The failing path is tried again within the same pass, up to the limit.
    EXPECT_EQ(CountOf(folder.systemLog(), stuck + " was not deleted(21).\r\n"),
              size_t(Vs5Server::kFilesPerPass - 4));

    // KeepLogDay 0: every log file at least a second old goes on the 1440th tick.
    std::string logs = folder.config().logFolder() + "/";
    Touch(logs + "old.log");
    Touch(logs + "notes.txt");
    Vs5Platform::ManualResetEvent stop, quit;
    std::thread t(Vs5Server::MaintenanceThread, Vs5Server::StopEvents{stop, quit},
                  std::ref(folder.config()), &cache, Vs5Server::HousekeepingTimings{.minuteMs = 1},
                  nullptr);
    EXPECT_TRUE(WaitFor([&] { return !vstest::Exists(logs + "old.log"); }));
    quit.Set();
    t.join();
    // 1440 ticks, and a few more before the quit was seen.
    EXPECT_GE(cache.invalidations.load(), 288);
    EXPECT_LT(cache.invalidations.load(), 2 * 288);  // every 5th tick, not every tick
    EXPECT_EQ(cache.reports.load(), cache.invalidations.load() / 12);
    EXPECT_TRUE(vstest::Exists(logs + "notes.txt"));
    // Today's open logs are as old, but stay.
    EXPECT_TRUE(vstest::Exists(folder.config().requestLog().CurrentPath()));
    EXPECT_EQ(CountOf(folder.systemLog(), "Old log files have been removed\r\n"), 1u);
}
