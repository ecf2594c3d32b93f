#include "commands/cmd_exec2.h"

#include <string>
#include <vector>

#include "commands/exec2_metadata.h"
#include "commands/exec2_steps.h"
#include "commands/impersonation.h"
#include "commands/web_capture.h"
#include "image/codecs/codec.h"
#include "photocmd/param_readers.h"
#include "photocmd/result_codes.h"
#include "platform/event.h"
#include "server/frame.h"
#include "server/response_builders.h"

namespace Vs4Command {

using Vs4Image::CBaseImage;

namespace {

// A failed step answers its result code alone; a successful one the size.
void AnswerSizeOr(Exec2Call& call, int result, const NamedImage& image) {
    if (result == kResultOk)
        AnswerSize(call.response, image);
    else
        Vs5Server::BuildHeaderOnlyResponse(call.response, result);
}

// The text the data holds (a path or an address), up to its NUL.
std::string DataText(const Exec2Request& request) {
    return ReadUtf16z(request.data, request.dataLength);
}

// Kind 1: a file, read under the account configured for its path. A JPEG
// stays encoded until a script needs its pixels (see NamedImage::Load).
void LoadFileStep(Exec2Call& call) {
    const std::string path = DataText(call.request);
    NamedImage& image = call.images.Entry(call.request.name);
    image.source.Drop();
    image.image.Clear();
    std::vector<uint8_t> bytes;
    Vs4Image::Status status;
    {
        CImpersonation impersonation;
        impersonation.Impersonate(call.config, path);
        status = Vs4Image::ReadWholeFile(path, bytes);
    }
    if (status == Vs4Image::Ok)
        status = image.Load(std::move(bytes));
    const int result = ResultFromStatus(status);
    AnswerSizeOr(call, result, image);
    call.config.LogRequest(call.context.clientAddress, result, path, "load", 0, call.ElapsedMs());
}

// Kind 2: the page rendered by the capture tool, loaded from its PNG.
void CaptureStep(Exec2Call& call) {
    CaptureRequest capture;
    capture.url = DataText(call.request);
    capture.optionsText = call.request.textA;
    NamedImage& image = call.images.Entry(call.request.name);
    capture.tempName = image.image.identifier();
    capture.errorStyle = CaptureErrorStyle::kExitCode;

    std::string error;
    const bool captured = CaptureWebPage(
        call.config, capture,
        [&image](const std::string& png) {
            image.source.Drop();
            image.image.LoadFromFile(png);
        },
        error);
    const int result = captured ? kResultOk : kResultWebCaptureFailed;
    AnswerSizeOr(call, result, image);
    call.config.LogRequestWithMessage(call.context.clientAddress, result, capture.url, "capture",
                                      call.ElapsedMs(), error);
}

// Kind 3: encoded image bytes, kept like a file's.
void LoadBytesStep(Exec2Call& call) {
    NamedImage& image = call.images.Entry(call.request.name);
    const uint8_t* data = call.request.data;
    const int result = ResultFromStatus(
        image.Load(std::vector<uint8_t>(data, data + (data ? call.request.dataLength : 0))));
    AnswerSizeOr(call, result, image);
    call.config.LogRequest(call.context.clientAddress, result, "BLOB", "load", 0, call.ElapsedMs());
}

// Kind 9: a canvas of width and height filled with the colour text that
// follows them. False when the data is too short to hold the size.
bool BlankStep(Exec2Call& call) {
    uint32_t width = 0, height = 0;
    if (!ReadDataU32(call.request, 0, width) || !ReadDataU32(call.request, 4, height))
        return false;
    const std::string colourText = ReadUtf16z(call.request.data + 8, call.request.dataLength - 8);
    NamedImage& image = call.images.Entry(call.request.name);
    image.source.Drop();
    const int result =
        ResultFromStatus(image.image.CreateBlank(width, height, ParseColor(colourText)));
    AnswerSizeOr(call, result, image);
    call.config.LogRequest(call.context.clientAddress, result, "Empty", "create", 0,
                           call.ElapsedMs());
    return true;
}

// Kinds 5 to 8, which write no log line. False when the data is too short
// for the kind's value.
bool ImageStateStep(Exec2Call& call, Exec2Kind kind) {
    uint32_t value = 0;
    if (kind != Exec2Kind::kRelease && !ReadDataU32(call.request, 0, value))
        return false;
    if (kind == Exec2Kind::kRelease) {
        NamedImage& released = call.images.Entry(call.request.name);
        released.source.Drop();
        released.image.Clear();
        Vs5Server::BuildTypedTextResponse(call.response, "");
        return true;
    }
    // Metadata and flags act on the whole picture.
    CBaseImage& image = call.images.FindOrCreate(call.request.name);
    switch (kind) {
        case Exec2Kind::kMetadata:
            Vs5Server::BuildTypedTextResponse(call.response, PropertyText(image, value));
            return true;
        case Exec2Kind::kSetFlags:
            image.flags |= value;
            break;
        default:  // kClearFlags
            image.flags &= ~value;
            break;
    }
    Vs5Server::BuildTypedTextResponse(call.response, "");
    return true;
}

// Runs the step of the request's kind; false for a kind this command does
// not know or data too short for its kind.
bool RunStep(Exec2Call& call) {
    const auto kind = static_cast<Exec2Kind>(call.request.kind);
    switch (kind) {
        case Exec2Kind::kLoadFile:
            LoadFileStep(call);
            return true;
        case Exec2Kind::kCapture:
            CaptureStep(call);
            return true;
        case Exec2Kind::kLoadBytes:
            LoadBytesStep(call);
            return true;
        case Exec2Kind::kScript:
            RunScriptStep(call);
            return true;
        case Exec2Kind::kRelease:
        case Exec2Kind::kMetadata:
        case Exec2Kind::kSetFlags:
        case Exec2Kind::kClearFlags:
            return ImageStateStep(call, kind);
        case Exec2Kind::kBlank:
            return BlankStep(call);
    }
    return false;
}

}  // namespace

int Exec2Call::ElapsedMs() const {
    return static_cast<int>(Vs5Platform::TickCount() - startTick);
}

void AnswerSize(Vs5Server::ResponseBuffer& response, const NamedImage& image) {
    Vs5Server::BuildSizeResponse(response, static_cast<uint32_t>(image.width()),
                                 static_cast<uint32_t>(image.height()));
}

void CVs5CmdExec2::Execute(Vs5Server::RequestContext& context, const uint8_t* frame, size_t length,
                           Vs5Server::ResponseBuffer& response) {
    const uint32_t startTick = Vs5Platform::TickCount();
    // A body that cannot be read, a kind outside 1 to 9 and data too short
    // for its kind are all answered, so that the client is never left waiting.
    Exec2Request request;
    if (!ReadExec2Request(frame, length, request)) {
        Vs5Server::BuildHeaderOnlyResponse(response, kResultUnknownOperation);
        return;
    }
    if (!context.namedImages)
        context.namedImages = std::make_shared<NamedImageTable>();
    Exec2Call call{
        services_.config, services_.commandFiles, context, *context.namedImages, request, response,
        startTick};
    if (!RunStep(call))
        Vs5Server::BuildHeaderOnlyResponse(response, kResultUnknownOperation);
}

}  // namespace Vs4Command
