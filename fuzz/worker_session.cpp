// A worker serving a stream of requests through a socket pair, as it serves
// the server's pipe. The input is read as the stream itself; the requests
// that name files to load or write are turned into encode requests, so that
// the fuzzer never touches files outside what it is given.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "fuzz_support.h"
#include "image/bitmap.h"
#include "worker/pipe_protocol.h"
#include "worker/worker_session.h"

namespace {

using namespace Vs5Worker;

// Images stay small so that every step is quick.
constexpr int64_t kSessionMaxPixels = 1 << 16;
constexpr size_t kMaxRequests = 24;

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The input as a stream the worker can read without touching files.
std::vector<uint8_t> SafeStream(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    size_t at = 0;
    for (size_t n = 0; n < kMaxRequests && at + kHeaderSize <= size; ++n) {
        const size_t headAt = out.size();
        uint32_t opcode = U32(data + at);
        out.insert(out.end(), data + at, data + at + kHeaderSize);
        at += kHeaderSize;
        size_t bodySize = 0;
        if (opcode == kLoadBytes) {
            const size_t count = at + 4 <= size ? U32(data + at) : 0;
            bodySize = std::min(count, size - std::min(size, at + 4));
            uint8_t head[4] = {uint8_t(bodySize), uint8_t(bodySize >> 8), uint8_t(bodySize >> 16),
                               uint8_t(bodySize >> 24)};
            out.insert(out.end(), head, head + 4);
            at += 4;
        } else if (opcode == kLoadFile || opcode == kSaveFile) {
            opcode = kEncode;
            std::memcpy(&out[headAt], "\x06\0\0\0", 4);
            bodySize = *BodySize(kEncode);
        } else if (std::optional<size_t> known = BodySize(opcode)) {
            bodySize = *known;
        }
        const size_t take = std::min(bodySize, size - std::min(size, at));
        out.insert(out.end(), data + at, data + at + take);
        out.resize(out.size() + (bodySize - take));
        at += take;
    }
    return out;
}

}  // namespace

// Fontconfig keeps its configuration and matched patterns for the life of
// the process, unreachable from anything LeakSanitizer can see. Cairo does
// the same with the scaled fonts it creates for some text sizes: the same
// bytes are reported after one run of such an input or after thirty, so it
// is a cache filled once, not memory lost per request. (The fast unwinder
// stops inside cairo, so only the library can name these reports.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libcairo.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool limited = (Vs4Image::SetMaxImagePixels(kSessionMaxPixels), true);
    (void)limited;
    const std::vector<uint8_t> stream = SafeStream(data, size);
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        VsFuzz::Fail("socketpair");
    // The server's end: sends the stream, then reads every reply until the
    // worker closes its end.
    std::thread server([fd = fds[0], &stream] {
        std::thread reader([fd] {
            uint8_t buffer[65536];
            while (recv(fd, buffer, sizeof buffer, 0) > 0) {
            }
        });
        size_t sent = 0;
        while (sent < stream.size()) {
            ssize_t n = send(fd, stream.data() + sent, stream.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += size_t(n);
        }
        shutdown(fd, SHUT_WR);
        reader.join();
    });
    {
        WorkerSession session;
        session.Serve(fds[1]);
    }
    close(fds[1]);
    server.join();
    close(fds[0]);
    return 0;
}
