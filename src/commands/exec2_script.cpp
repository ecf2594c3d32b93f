// Kind 4 of EXEC2: a script of photo-command lines run on one named image in
// this process, ending either after its last line with the image's size or at
// an "encode" line with the encoded image.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "commands/exec2_steps.h"
#include "commands/impersonation.h"
#include "commands/script_lines.h"
#include "photocmd/classify.h"
#include "photocmd/param_readers.h"
#include "photocmd/result_codes.h"
#include "photocmd/run_in_process.h"
#include "platform/text.h"
#include "server/frame.h"
#include "server/response_builders.h"

namespace Vs4Command {

using Vs4Image::CBaseImage;

namespace {

constexpr size_t kMaxLogTextUnits = 256;

// An encode line: the image's bytes in the answer, or the image saved to the
// line's `path` under the account configured for that path and the path in
// the answer. Returns the result code; a failure is answered here too.
int EncodeLine(Exec2Call& call, CBaseImage& image, const ParamMap& line, const Settings& s) {
    const uint32_t quality = JpegQuality(GetInt(line, "quality", s.imageJpegQuality));
    const uint32_t keepMetadata = GetBool(line, "metadata", s.persistMetadata != 0) ? 1 : 0;
    int result;
    if (!line.Has("path")) {
        std::vector<uint8_t> stream;
        Vs4Image::Status status =
            image.SaveToStream(GetString(line, "format"), quality, keepMetadata, stream);
        // The answer counts its bytes in 32 bits.
        if (status == Vs4Image::Ok && stream.size() > UINT32_MAX)
            status = Vs4Image::OutOfMemory;
        result = ResultFromStatus(status);
        if (result == kResultOk)
            Vs5Server::BuildTypedBinaryResponse(call.response, Vs5Server::kStatusSuccess,
                                                stream.data(),
                                                static_cast<uint32_t>(stream.size()));
    } else {
        const std::string path = GetString(line, "path");
        CImpersonation impersonation;
        impersonation.Impersonate(call.config, path);
        result = ResultFromStatus(image.SaveToFile(path, quality, keepMetadata));
        impersonation.Revert();
        if (result == kResultOk)
            Vs5Server::BuildTypedTextResponse(call.response, path);
    }
    if (result != kResultOk)
        Vs5Server::BuildHeaderOnlyResponse(call.response, result);
    return result;
}

// Runs the lines until one fails or encodes. Returns the result code; the
// answer is left to the caller unless an encode line gave it. A picture still
// encoded is decoded by its first line: reduced when that line is a downscale,
// whole for anything else.
int RunLines(Exec2Call& call, NamedImage& named, const Settings& settings, bool& answered) {
    CBaseImage& image = named.image;
    const OperationFolders folders{call.config.frameFolder(), call.config.imageFolder()};
    Configuration& config = call.config;
    InProcessContext context{call.images, settings, folders,
                             [&config](const std::string& path, CBaseImage& target) {
                                 CImpersonation impersonation;
                                 impersonation.Impersonate(config, path);
                                 return target.LoadFromFile(path);
                             }};
    for (const std::string& text : ScriptLines(call.request.textA)) {
        const ParamMap line = ParseParams(text);
        const bool isEncode = GetLowerString(line, "cmd") == "encode";
        const CommandClass cls = ClassifyCommand(line, call.commandFiles);
        if (cls.isCommandFile && cls.file == nullptr)
            return kResultCommandFileNotFound;
        if (isEncode || cls.isCommandFile) {
            if (Vs4Image::Status s = named.source.Realize(image, nullptr); s != Vs4Image::Ok)
                return ResultFromStatus(s);
        }
        if (isEncode) {
            answered = true;
            return EncodeLine(call, image, line, settings);
        }
        const int result = cls.isCommandFile
                               ? RunCommandFileInProcess(context, image, *cls.file, line)
                               : RunCommandInProcess(context, named.source, image, line);
        if (result != kResultOk)
            return result;
    }
    return kResultOk;
}

}  // namespace

void RunScriptStep(Exec2Call& call) {
    const std::string logText = ScriptLogText(call.request.textA, kMaxLogTextUnits);
    NamedImage& image = call.images.Entry(call.request.name);
    int result = kResultSourceMissing;
    bool answered = false;
    if (image.present()) {
        const auto settings = call.config.settings();
        result = RunLines(call, image, *settings, answered);
    }
    if (!answered) {
        if (result == kResultOk)
            AnswerSize(call.response, image);
        else
            Vs5Server::BuildHeaderOnlyResponse(call.response, result);
    }
    call.config.LogRequest(call.context.clientAddress, result, "", logText, 0, call.ElapsedMs());
}

}  // namespace Vs4Command
