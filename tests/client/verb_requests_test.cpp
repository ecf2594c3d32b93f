// Verb frames and answer readers byte by byte, and the vistrel program run
// against a loopback server that answers with canned frames.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "client/verb_requests.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;
using VsClient::Exec2Kind;
using VsClient::ExecSource;
using VsClient::U32s;
using VsClient::Utf16z;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The 36-byte request header, written out field by field.
Bytes RequestHeader(const std::string& verb, uint32_t encoding, uint32_t bodyLength) {
    Bytes h = {'V', 'S', '4', 0};
    h = Cat({h, U32s({encoding})});
    for (size_t i = 0; i < 12; ++i)
        h.insert(h.end(), {uint8_t(i < verb.size() ? verb[i] : 0), 0});
    return Cat({h, U32s({bodyLength})});
}

VsClient::Response Payload(const Bytes& payload) {
    return VsClient::Response{0, payload};
}
Bytes Typed(uint16_t type, const Bytes& rest) {
    return Cat({{uint8_t(type), 0}, rest});
}
Bytes BinaryPayload(const Bytes& data) {
    return Typed(2, Cat({U32s({uint32_t(data.size())}), data}));
}

TEST(VerbFrames, BodiesAreLaidOutByteByByte) {
    struct Case {
        const char* what;
        Bytes frame, expected;
    } cases[] = {
        {"GET, UTF-16LE strings", VsClient::BuildGetFrame("a", "b"),
         Cat({RequestHeader("GET", 400, 10), {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}})},
        {"GET, code page 65001 carries UTF-8 after the code page",
         VsClient::BuildGetFrame("\xC3\xA9", "x", 401, 65001),
         Cat({RequestHeader("GET", 401, 6), U32s({65001}), {0xC3, 0xA9, 0, 'x', 0, 0}})},
        {"EXEC, image bytes: kind, unaligned length, data, options, script",
         VsClient::BuildExecFrame(ExecSource::kBytes, {1, 2, 3}, "", "l\nm"),
         Cat({RequestHeader("EXEC", 400, 19),
              {3, 0, 3, 0, 0, 0, 1, 2, 3, 0, 0, 'l', 0, '\n', 0, 'm', 0, 0, 0}})},
        {"EXEC2, blank: width, height and colour text in the data, then the name",
         VsClient::BuildExec2Frame(Exec2Kind::kBlank, Cat({U32s({4, 2}), Utf16z("f")}), "", "n"),
         Cat({RequestHeader("EXEC2", 400, 24),
              {9, 0, 12, 0, 0, 0},
              U32s({4, 2}),
              {'f', 0, 0, 0, 0, 0, 'n', 0, 0, 0}})},
    };
    for (const Case& c : cases) {
        // Bytes 0-3 are not examined by the server; the client writes "VS4\0".
        EXPECT_EQ(c.frame, c.expected) << c.what;
    }
}

TEST(VerbAnswers, TypedPayloadsAreReadAndCutOnesRejected) {
    struct Case {
        const char* what;
        Bytes payload;
        const char* text;  // null: not a text
        int binarySize;    // -1: not binary
        bool size;         // reads as 640 x 480
    } cases[] = {
        {"text", Typed(1, {'h', 0, 'i', 0, 0, 0}), "hi", -1, false},
        {"empty text", Typed(1, {0, 0}), "", -1, false},
        {"text without its terminator", Typed(1, {'h', 0, 'i', 0}), nullptr, -1, false},
        {"size", BinaryPayload(U32s({640, 480})), nullptr, 8, true},
        {"image bytes", BinaryPayload({1, 2, 3}), nullptr, 3, false},
        {"binary cut short", Typed(2, Cat({U32s({8}), U32s({640})})), nullptr, -1, false},
        {"binary with bytes beyond its length", Typed(2, Cat({U32s({1}), {1, 2}})), nullptr, -1,
         false},
        {"half a type", {1}, nullptr, -1, false},
    };
    for (const Case& c : cases) {
        std::string text;
        Bytes data;
        uint32_t width = 0, height = 0;
        auto r = Payload(c.payload);
        EXPECT_EQ(VsClient::PayloadText(r, text), c.text != nullptr) << c.what;
        if (c.text) {
            EXPECT_EQ(text, c.text) << c.what;
        }
        EXPECT_EQ(VsClient::PayloadBinary(r, data), c.binarySize >= 0) << c.what;
        if (c.binarySize >= 0) {
            EXPECT_EQ(data.size(), size_t(c.binarySize)) << c.what;
        }
        EXPECT_EQ(VsClient::PayloadSize(r, width, height), c.size) << c.what;
        if (c.size) {
            EXPECT_EQ(std::make_pair(width, height), std::make_pair(640u, 480u)) << c.what;
        }
    }
}

TEST(VerbAnswers, GetPathIsReadInTheRequestEncoding) {
    struct Case {
        Bytes payload;
        uint32_t encoding;
        const char* path;  // null: rejected
    } cases[] = {
        {{'/', 0, 'p', 0, 0, 0}, 400, "/p"},
        {{'/', 0, 'p', 0}, 400, nullptr},
        {{'/', 0xC3, 0xA9, 0}, 401, "/\xC3\xA9"},
        {{'/', 'p'}, 401, nullptr},
    };
    for (const Case& c : cases) {
        std::string path;
        bool ok = VsClient::PayloadBareText(Payload(c.payload), c.encoding, 65001, path);
        EXPECT_EQ(ok, c.path != nullptr) << c.encoding;
        if (c.path) {
            EXPECT_EQ(path, c.path);
        }
    }
}

// A loopback server that answers each request frame with the next canned
// answer and keeps what it received, with the number of its connection.
class CannedServer {
public:
    explicit CannedServer(std::vector<Bytes> answers) : answers_(std::move(answers)) {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof(addr);
        if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), size) != 0 ||
            listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &size) != 0)
            ADD_FAILURE() << "no loopback listener";
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~CannedServer() { Stop(); }
    void Stop() {
        if (!thread_.joinable())
            return;
        shutdown(listener_, SHUT_RDWR);  // ends the accept
        thread_.join();
        close(listener_);
    }
    uint16_t port() const { return port_; }
    // Connection number and bytes of each request; read after Stop.
    const std::vector<std::pair<int, Bytes>>& requests() const { return requests_; }

private:
    static bool ReadAll(int fd, uint8_t* out, size_t size) {
        return recv(fd, out, size, MSG_WAITALL) == ssize_t(size);
    }
    void Serve() {
        for (int connection = 0;; ++connection) {
            int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0)
                return;
            Bytes frame(36);
            while (ReadAll(fd, frame.data(), 36)) {
                size_t body =
                    frame[32] | frame[33] << 8 | frame[34] << 16 | size_t(frame[35]) << 24;
                body += frame[4] == 0x90 && frame[5] == 1 ? 0 : 4;
                frame.resize(36 + body);
                if (!ReadAll(fd, frame.data() + 36, body))
                    break;
                requests_.emplace_back(connection, frame);
                Bytes answer = next_ < answers_.size() ? answers_[next_++] : Bytes();
                (void)!write(fd, answer.data(), answer.size());
                frame.resize(36);
            }
            close(fd);
        }
    }

    std::vector<Bytes> answers_;
    size_t next_ = 0;
    std::vector<std::pair<int, Bytes>> requests_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

Bytes Answer(uint32_t status, const Bytes& payload = {}) {
    return Cat({{'V', 'S', '4', 0}, U32s({status, uint32_t(payload.size())}), payload});
}
// A header alone, announcing `length` payload bytes that never come.
Bytes Announcing(uint32_t length) {
    return Cat({{'V', 'S', '4', 0}, U32s({0, length})});
}
Bytes SizeAnswer(uint32_t width, uint32_t height) {
    return Answer(0, BinaryPayload(U32s({width, height})));
}
Bytes TextAnswer(const std::string& text) {
    return Answer(0, Typed(1, Utf16z(text)));
}

// Runs vistrel with `args` ("{in}" and "{out}" stand for files of `dir`);
// returns the exit status and fills `output` with what it printed.
int RunVistrel(std::vector<std::string> args, uint16_t port, const vstest::TempDir& dir,
               std::string& output) {
    for (std::string& a : args) {
        if (a == "{in}" || a == "{out}")
            a = dir / a.substr(1, a.size() - 2);
    }
    args.insert(args.begin(), VS_BIN_DIR "/vistrel");
    args.insert(args.end(), {"--port", std::to_string(port), "--timeout", "60000"});
    vstest::ChildProcess child(args, dir / "printed");
    auto status = child.WaitExit(std::chrono::minutes(2));
    output = vstest::ReadFile(dir / "printed");
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

TEST(VistrelProgram, ShowsAnswersAndFailuresOfEachVerb) {
    const std::string twoLines = "cmd=resize&w=100\ncmd=encode&format=png";
    struct Case {
        std::vector<std::string> args;
        std::vector<Bytes> answers;
        int exitCode;
        std::string printed;
        std::string written = {};      // expected content of {out}, when not empty
        std::vector<Bytes> sent = {};  // expected request frames, when not empty
    } cases[] = {
        {{"get", "/img/a.jpg", "cmd=thumb"},
         {Answer(0, Utf16z("/cache/r.jpg"))},
         0,
         "/cache/r.jpg\n",
         "",
         {VsClient::BuildGetFrame("/img/a.jpg", "cmd=thumb")}},
        {{"get", "/a.jpg", "cmd=x", "--encoding", "401"},
         {Answer(0, Cat({Str("/c/\xC3\xA9.jpg"), {0}}))},
         0,
         "/c/\xC3\xA9.jpg\n",
         "",
         {VsClient::BuildGetFrame("/a.jpg", "cmd=x", 401, 65001)}},
        {{"get", "/a.jpg", "cmd=crop"},
         {Answer(105)},
         1,
         "vistrel: get failed: 105 (command not allowed)\n"},
        {{"exec", "--bytes", "{in}", "--script", "cmd=resize&w=100\\ncmd=encode&format=png", "-o",
          "{out}"},
         {Answer(0, BinaryPayload(Str("PNGDATA")))},
         0,
         "",
         "PNGDATA",
         {VsClient::BuildExecFrame(ExecSource::kBytes, Str("JPEG"), "", twoLines)}},
        {{"exec", "--file", "/a.jpg", "--script", "cmd=_getmetric_&info=v1"},
         {SizeAnswer(640, 480)},
         0,
         "640 480\n"},
        {{"exec", "--url", "http://x/", "--script", "cmd=encode&path=/o.png"},
         {TextAnswer("/o.png")},
         0,
         "/o.png\n"},
        {{"exec", "--file", "/a.jpg", "--script", "cmd=blur"}, {Answer(0)}, 0, ""},
        {{"exec", "--file", "/a.jpg", "--script", "cmd=blur"},
         {Answer(0, Typed(7, {}))},
         3,
         "vistrel: exec: unreadable answer (2 payload bytes)\n"},
        {{"exec2", "--name", "img", "--blank", "4x2:ff0000", "--script", "cmd=resize&w=2",
          "--script", "cmd=encode&format=png", "-o", "{out}", "--metadata", "271"},
         {SizeAnswer(4, 2), SizeAnswer(2, 1), Answer(0, BinaryPayload(Str("IMG"))),
          TextAnswer("Canon")},
         0,
         "4 2\n2 1\nCanon\n",
         "IMG",
         {VsClient::BuildExec2Frame(Exec2Kind::kBlank, Cat({U32s({4, 2}), Utf16z("ff0000")}), "",
                                    "img"),
          VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, "cmd=resize&w=2", "img"),
          VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, "cmd=encode&format=png", "img"),
          VsClient::BuildExec2Frame(Exec2Kind::kMetadata, U32s({271}), "", "img")}},
        {{"exec2", "--script", "cmd=blur", "--release"},
         {Answer(102)},
         1,
         "vistrel: exec2 failed: 102 (source missing, or an image without a bitmap)\n",
         "",
         {VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, "cmd=blur", "")}},
        {{"exec", "--file", "/a.jpg"}, {}, 2, ""},
        // An announced size above the limit is refused before it is read.
        {{"raw", "--verb", "X", "--body-file", "{in}"},
         {Announcing(300u << 20)},
         1,
         "vistrel: no response: the answer announces 314572800 bytes, more than the 256 MiB "
         "allowed (--max-response)\n"},
        {{"raw", "--verb", "X", "--body-file", "{in}", "--max-response", "1"},
         {Announcing(2u << 20)},
         1,
         "vistrel: no response: the answer announces 2097152 bytes, more than the 1 MiB "
         "allowed (--max-response)\n"},
        {{"get", "/a.jpg", "cmd=x", "--max-response", "1"},
         {Announcing(2u << 20)},
         3,
         "vistrel: get: no answer: the answer announces 2097152 bytes, more than the 1 MiB "
         "allowed (--max-response)\n"},
    };
    for (const Case& c : cases) {
        vstest::TempDir dir;
        vstest::WriteFile(dir / "in", "JPEG");
        CannedServer server(c.answers);
        std::string printed;
        std::string what = c.args[0] + " " + c.args[2];
        EXPECT_EQ(RunVistrel(c.args, server.port(), dir, printed), c.exitCode) << what;
        if (c.exitCode != 2) {
            EXPECT_EQ(printed, c.printed) << what;
        }
        if (!c.written.empty()) {
            EXPECT_EQ(vstest::ReadFile(dir / "out"), c.written) << what;
        }
        server.Stop();
        if (c.sent.empty())
            continue;
        ASSERT_EQ(server.requests().size(), c.sent.size()) << what;
        for (size_t i = 0; i < c.sent.size(); ++i) {
            EXPECT_EQ(server.requests()[i].first, 0) << what << ": one connection";
            EXPECT_EQ(server.requests()[i].second, c.sent[i]) << what << " request " << i;
        }
    }
}

}  // namespace
