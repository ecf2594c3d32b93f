#include "commands/cmd_exec.h"

#include <memory>
#include <string>
#include <vector>

#include "commands/exec2_request.h"
#include "commands/script_lines.h"
#include "commands/web_capture.h"
#include "config/configuration.h"
#include "photocmd/classify.h"
#include "photocmd/param_readers.h"
#include "photocmd/result_codes.h"
#include "platform/event.h"
#include "server/response_builders.h"
#include "worker/run_command.h"

namespace Vs4Command {

namespace {

constexpr uint16_t kSourceFile = 1;
constexpr uint16_t kSourceWebPage = 2;
constexpr uint16_t kSourceBytes = 3;

// One EXEC request on its way through the worker.
struct ExecRun {
    const CommandServices& services;
    const Settings& settings;
    Vs5Worker::WorkerLink& link;
    Vs5Server::ResponseBuffer& response;
    bool answered = false;  // an output or metric line has built the response
};

// The output line: a path makes the worker write the file under the account
// configured for that path; without one the encoded bytes are the answer.
int Encode(ExecRun& run, const ParamMap& line) {
    const uint32_t quality = JpegQuality(GetInt(line, "quality", run.settings.imageJpegQuality));
    const bool keep = run.settings.persistMetadata != 0;
    std::string path = GetString(line, "path");
    uint32_t status = 0;
    if (!path.empty()) {
        std::string user, password;
        run.services.config.FindImpersonation(path, user, password);
        status = run.link.SaveFile({path, quality, keep, user, password});
        if (status == 0)
            Vs5Server::BuildTypedTextResponse(run.response, path);
    } else {
        std::vector<uint8_t> bytes;
        status = run.link.Encode({GetString(line, "format"), quality, keep}, bytes);
        if (status == 0)
            Vs5Server::BuildTypedBinaryResponse(run.response, 0, bytes.data(),
                                                static_cast<uint32_t>(bytes.size()));
    }
    run.answered = status == 0;
    return ResultFromStatus(static_cast<int>(status));
}

void AnswerSize(ExecRun& run) {
    Vs5Server::BuildSizeResponse(run.response, static_cast<uint32_t>(run.link.width()),
                                 static_cast<uint32_t>(run.link.height()));
    run.answered = true;
}

// Runs the lines until one answers or fails; returns the result code.
int RunScript(ExecRun& run, const std::string& script) {
    OperationFolders folders{run.services.config.frameFolder(), run.services.config.imageFolder()};
    int result = kResultOk;
    for (const std::string& text : ScriptLines(script)) {
        ParamMap line = ParseParams(text);
        std::string cmd = GetLowerString(line, "cmd");
        if (cmd == "encode")
            return Encode(run, line);
        if (cmd == "_getmetric_") {
            if (GetLowerString(line, "info") == "v1")
                AnswerSize(run);
            return kResultOk;
        }
        CommandClass kind = ClassifyCommand(line, run.services.commandFiles);
        if (kind.isCommandFile && kind.file == nullptr)
            return kResultCommandFileNotFound;
        result = kind.isCommandFile
                     ? Vs5Worker::RunCommandFile(run.link, *kind.file, line, run.settings, folders)
                     : Vs5Worker::RunCommand(run.link, line, run.settings, folders);
        if (result != kResultOk)
            return result;
    }
    return result;
}

}  // namespace

void CVs4CmdExec::Execute(Vs5Server::RequestContext& context, const uint8_t* frame, size_t length,
                          Vs5Server::ResponseBuffer& response) {
    const uint32_t start = Vs5Platform::TickCount();
    Configuration& config = services_.config;
    std::shared_ptr<const Settings> settings = config.settings();
    // EXEC's body has the layout of EXEC2's: kind, data, options, script.
    Exec2Request body;
    if (!ReadExec2Request(frame, length, body)) {
        Vs5Server::BuildHeaderOnlyResponse(response, kResultUnknownOperation);
        config.LogRequest(context.clientAddress, kResultUnknownOperation, "", "", 0, 0);
        return;
    }
    const std::string& script = body.name;
    const std::string logText = ScriptLogText(script);
    Vs5Worker::WorkerLink link(context.worker);
    auto fail = [&](int code, const std::string& source) {
        Vs5Server::BuildHeaderOnlyResponse(response, static_cast<uint32_t>(code));
        config.LogRequest(context.clientAddress, code, source, logText, 0, 0);
    };

    std::string source = "BLOB";
    if (body.kind == kSourceFile) {
        source = ReadUtf16z(body.data, body.dataLength);
        std::string user, password;
        config.FindImpersonation(source, user, password);
        if (uint32_t status = link.LoadFile({source, user, password}))
            return fail(ResultFromStatus(static_cast<int>(status)), source);
    } else if (body.kind == kSourceWebPage) {
        source = ReadUtf16z(body.data, body.dataLength);
        std::string error;
        CaptureRequest capture{source, body.textA, link.linkId(), CaptureErrorStyle::kUrl};
        if (!CaptureWebPage(
                config, capture,
                [&](const std::string& png) {
                    link.LoadFile({png, "", ""});
                },
                error)) {
            Vs5Server::BuildHeaderOnlyResponse(response, kResultWebCaptureFailed);
            config.LogRequestWithMessage(context.clientAddress, kResultWebCaptureFailed, source,
                                         logText,
                                         static_cast<int>(Vs5Platform::TickCount() - start), error);
            return;
        }
    } else if (body.kind == kSourceBytes) {
        if (uint32_t status = link.LoadBytes(body.data, body.dataLength))
            return fail(ResultFromStatus(static_cast<int>(status)), source);
    }

    ExecRun run{services_, *settings, link, response};
    int result = RunScript(run, script);
    if (!run.answered)
        Vs5Server::BuildHeaderOnlyResponse(response, static_cast<uint32_t>(result));
    config.LogRequest(context.clientAddress, result, source, logText, 0,
                      static_cast<int>(Vs5Platform::TickCount() - start));
}

}  // namespace Vs4Command
