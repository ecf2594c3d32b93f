// The client library's connection bounds, and the vistrel program run against
// a loopback server that answers with canned frames and keeps what it got.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "client/connection.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::string_literals;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
const auto Str = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
const auto U16 = [](uint16_t v) { return Bytes{uint8_t(v), uint8_t(v >> 8)}; };
const auto U32 = [](uint32_t v) { return Cat({U16(uint16_t(v)), U16(uint16_t(v >> 16))}); };
Bytes U16z(const std::string& ascii) {
    Bytes out;
    for (char c : ascii + '\0')
        out.insert(out.end(), {uint8_t(c), 0});
    return out;
}

// A request frame: "VS4\0", the encoding, the verb in 12 UTF-16 units, the
// body length, and for encoding 401 the code page before the body.
Bytes Frame(const std::string& verb, const Bytes& body, uint32_t codePage = 0) {
    Bytes h = Cat({Str({'V', 'S', '4', '\0'}), U32(codePage ? 401 : 400)});
    for (size_t i = 0; i < 12; ++i)
        h = Cat({h, U16(i < verb.size() ? verb[i] : 0)});
    return Cat({h, U32(uint32_t(body.size())), codePage ? U32(codePage) : Bytes(), body});
}
Bytes Exec2(uint16_t kind, const Bytes& data, const std::string& script, const std::string& name) {
    return Frame("EXEC2",
                 Cat({U16(kind), U32(uint32_t(data.size())), data, U16z(script), U16z(name)}));
}

Bytes Answer(uint32_t status, const Bytes& payload = {}) {
    return Cat({Str({'V', 'S', '4', '\0'}), U32(status), U32(uint32_t(payload.size())), payload});
}
Bytes Announcing(uint32_t length) {  // a header alone; the payload never comes
    return Cat({Str({'V', 'S', '4', '\0'}), U32(0), U32(length)});
}
const auto Binary = [](const Bytes& b) {
    return Answer(0, Cat({U16(2), U32(uint32_t(b.size())), b}));
};
const auto Size = [](uint32_t w, uint32_t h) { return Binary(Cat({U32(w), U32(h)})); };
const auto Text = [](const std::string& text) { return Answer(0, Cat({U16(1), U16z(text)})); };

// A listening socket on a free loopback port.
int Listen(int backlog, uint16_t& port) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof(addr);
    EXPECT_TRUE(bind(listener, reinterpret_cast<sockaddr*>(&addr), size) == 0 &&
                listen(listener, backlog) == 0 &&
                getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &size) == 0);
    port = ntohs(addr.sin_port);
    return listener;
}

// Answers each request frame with the next canned answer, and keeps the
// requests with the number of the connection they came on. With `hangUp` it
// closes the connection after each answer.
class CannedServer {
public:
    explicit CannedServer(std::vector<Bytes> answers, bool hangUp = false)
        : answers_(std::move(answers)), hangUp_(hangUp) {
        listener_ = Listen(4, port_);
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
    std::vector<std::pair<int, Bytes>> requests;  // read after Stop

private:
    void Serve() {
        for (int connection = 0;; ++connection) {
            int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0)
                return;
            for (Bytes frame(36); recv(fd, frame.data(), 36, MSG_WAITALL) == 36; frame.resize(36)) {
                size_t body =
                    frame[32] | frame[33] << 8 | frame[34] << 16 | size_t(frame[35]) << 24;
                body += frame[4] == 0x90 && frame[5] == 1 ? 0 : 4;
                frame.resize(36 + body);
                if (body > 0 && recv(fd, frame.data() + 36, body, MSG_WAITALL) != ssize_t(body))
                    break;
                requests.emplace_back(connection, frame);
                Bytes answer = next_ < answers_.size() ? answers_[next_++] : Bytes();
                if (write(fd, answer.data(), answer.size()) < 0 || hangUp_)
                    break;
            }
            close(fd);
        }
    }
    std::vector<Bytes> answers_;
    bool hangUp_;
    size_t next_ = 0;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

TEST(ClientConnection, AnnouncedPayloadIsNotAllocatedBeforeItArrives) {
    // 256 MiB announced, then ten bytes, then the end.
    CannedServer server({Cat({Announcing(256u << 20), Bytes(10, 0xAB)})}, true);
    VsClient::Connection c;
    ASSERT_TRUE(c.Connect("127.0.0.1", server.port(), 10000));
    VsClient::Response r;
    ASSERT_TRUE(c.Send(Frame("X", {})));
    EXPECT_FALSE(c.Receive(r));
    EXPECT_EQ(c.error(), "connection closed by the server");
    EXPECT_LT(r.payload.capacity(), size_t(4) << 20);
}

TEST(ClientConnection, ConnectAndSendAreBoundedByTheTimeOut) {
    // A listener that never accepts, with a backlog a first client fills:
    // the next handshake gets no answer at all.
    uint16_t port = 0;
    int listener = Listen(0, port);
    VsClient::Connection first, second;
    ASSERT_TRUE(first.Connect("127.0.0.1", port, 300));
    // Nobody reads: the socket buffers fill and the send has to wait.
    EXPECT_FALSE(first.Send(Bytes(64 << 20, 1)));
    EXPECT_FALSE(second.Connect("127.0.0.1", port, 300));
    EXPECT_EQ(first.error(), "timed out");
    EXPECT_EQ(second.error(), "timed out");
    close(listener);
}

// Runs vistrel with `args` ("{in}" holds "JPEG", "{out}" is written) against a
// server with the canned `answers`; checks its exit code, what it printed and
// wrote, and the frames it sent on one connection (when given).
void ExpectVistrel(std::vector<std::string> args, std::vector<Bytes> answers, int exitCode,
                   const std::string& printed, const std::string& written = "",
                   const std::vector<Bytes>& sent = {}) {
    vstest::TempDir dir;
    vstest::WriteFile(dir / "in", "JPEG");
    CannedServer server(answers);
    const std::string what = args[0] + " " + args[2];
    for (std::string& a : args)
        if (a == "{in}" || a == "{out}")
            a = dir / a.substr(1, a.size() - 2);
    args.insert(args.begin(), VS_BIN_DIR "/vistrel");
    args.insert(args.end(), {"--port", std::to_string(server.port()), "--timeout", "60000"});
    vstest::ChildProcess child(args, dir / "printed");
    auto status = child.WaitExit(std::chrono::minutes(2));
    EXPECT_EQ(status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, exitCode) << what;
    // Exit code 2 is a usage error: the usage text is not compared.
    EXPECT_EQ(exitCode == 2 ? printed : vstest::ReadFile(dir / "printed"), printed) << what;
    EXPECT_EQ(written.empty() ? "" : vstest::ReadFile(dir / "out"), written) << what;
    server.Stop();
    std::vector<std::pair<int, Bytes>> expected;
    for (const Bytes& frame : sent)
        expected.emplace_back(0, frame);  // all on the first connection
    EXPECT_EQ(sent.empty() ? expected : server.requests, expected) << what;
}

}  // namespace

TEST(VistrelProgram, SendsEachVerbAndShowsItsAnswersAndFailures) {
    ExpectVistrel({"get", "/img/a.jpg", "cmd=thumb"}, {Answer(0, U16z("/cache/r.jpg"))}, 0,
                  "/cache/r.jpg\n", "",
                  {Frame("GET", Cat({U16z("/img/a.jpg"), U16z("cmd=thumb"), U16z("")}))});
    // Code page 65001 carries UTF-8 strings, and the answer comes back in it.
    ExpectVistrel({"get", "/\xC3\xA9", "cmd=x", "--encoding", "401"},
                  {Answer(0, Str("/c/\xC3\xA9.jpg\0"s))}, 0, "/c/\xC3\xA9.jpg\n", "",
                  {Frame("GET", Str("/\xC3\xA9\0cmd=x\0\0"s), 65001)});
    ExpectVistrel({"get", "/a.jpg", "cmd=x"}, {Answer(0, {'/', 0, 'p', 0})}, 3,  // no NUL
                  "vistrel: get: unreadable answer (4 payload bytes)\n");
    ExpectVistrel(
        {"exec", "--bytes", "{in}", "--script", "cmd=resize&w=100\\ncmd=encode", "-o", "{out}"},
        {Binary(Str("PNGDATA"))}, 0, "", "PNGDATA",
        {Frame("EXEC", Cat({U16(3), U32(4), Str("JPEG"), U16z(""),
                            U16z("cmd=resize&w=100\ncmd=encode")}))});
    ExpectVistrel({"exec", "--file", "/a.jpg", "--script", "cmd=blur"}, {Answer(0)}, 0, "");
    // Typed answers of an unknown type, cut short, or longer than they say.
    for (auto [payload, size] : {std::pair{U16(7), "2"},
                                 {Cat({U16(1), Str("h\0i\0"s)}), "6"},
                                 {Cat({U16(2), U32(8), U32(640)}), "10"}})
        ExpectVistrel(
            {"exec", "--file", "/a.jpg", "--script", "x"}, {Answer(0, payload)}, 3,
            "vistrel: exec: unreadable answer (" + std::string(size) + " payload bytes)\n");
    ExpectVistrel({"exec2", "--name", "img", "--blank", "4x2:ff0000", "--script", "cmd=resize",
                   "-o", "{out}", "--metadata", "271"},
                  {Size(4, 2), Binary(Str("IMG")), Text("Canon")}, 0, "4 2\nCanon\n", "IMG",
                  {Exec2(9, Cat({U32(4), U32(2), U16z("ff0000")}), "", "img"),
                   Exec2(4, {}, "cmd=resize", "img"), Exec2(6, U32(271), "", "img")});
    ExpectVistrel({"exec2", "--script", "cmd=blur", "--release"}, {Answer(102)}, 1,
                  "vistrel: exec2 failed: 102 (source missing, or an image without a bitmap)\n", "",
                  {Exec2(4, {}, "cmd=blur", "")});
    ExpectVistrel({"exec", "--file", "/a.jpg"}, {}, 2, "");
    // An announced size above the limit is refused before it is read.
    ExpectVistrel({"get", "/a.jpg", "cmd=x", "--max-response", "1"}, {Announcing((1u << 20) + 1)},
                  3,
                  "vistrel: get: no answer: the answer announces 1048577 bytes, more than the 1 "
                  "MiB allowed (--max-response)\n");
}
