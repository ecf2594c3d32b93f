// Request frames as the connection sees them, then each verb's reading of
// the body: GET's strings and command, EXEC's and EXEC2's kind, data and
// texts, the script lines and the capture options.
#include <cstddef>
#include <cstdint>
#include <string>

#include "commands/exec2_request.h"
#include "commands/script_lines.h"
#include "commands/web_capture.h"
#include "fuzz_support.h"
#include "platform/text.h"
#include "server/body_strings.h"
#include "server/frame.h"

namespace {

void ReadGetBody(const uint8_t* frame, size_t length) {
    Vs5Server::BodyStringReader body(frame, length);
    if (!body.hasStrings())
        return;
    const std::string command = Vs5Platform::Utf16ToUtf8(body.second());
    VsFuzz::ReadWithEveryRunner(Vs4Command::ParseParams(command));
    Vs5Platform::Utf16ToUtf8(body.first());
    Vs5Platform::Utf16ToUtf8(body.third());
}

void ReadExecBody(const uint8_t* frame, size_t length) {
    Vs4Command::Exec2Request request;
    if (!Vs4Command::ReadExec2Request(frame, length, request))
        return;
    VsFuzz::Check(request.data + request.dataLength <= frame + length, "data inside the frame");
    uint32_t value = 0;
    Vs4Command::ReadDataU32(request, 0, value);
    Vs4Command::ReadDataU32(request, 4, value);
    Vs4Command::ReadUtf16z(request.data, request.dataLength);
    Vs4Command::CaptureOptions(Vs4Command::ParseParams(request.textA));
    // EXEC runs the name field as its script, EXEC2 the first text.
    for (const std::string* script : {&request.name, &request.textA}) {
        Vs4Command::ScriptLogText(*script, 200);
        for (const std::string& line : Vs4Command::ScriptLines(*script))
            VsFuzz::ReadWithEveryRunner(Vs4Command::ParseParams(line));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr uint64_t kMaxFrame = 1 << 20;
    // Fed in two pieces, as a connection may receive it.
    Vs5Server::ParseRequestFrame(data, size / 2, kMaxFrame);
    Vs5Server::ParseResult result = Vs5Server::ParseRequestFrame(data, size, kMaxFrame);
    if (result.state != Vs5Server::ParseState::kComplete)
        return 0;
    VsFuzz::Check(result.frameLength <= size && result.frameLength >= Vs5Server::kRequestHeaderSize,
                  "complete frame inside the bytes");
    const size_t length = static_cast<size_t>(result.frameLength);
    Vs5Server::DecodeRequestHeader(data);
    // Every verb's reading on every frame: the verb field only selects one
    // of them in the server, and any of them may meet any body.
    ReadGetBody(data, length);
    ReadExecBody(data, length);
    return 0;
}
