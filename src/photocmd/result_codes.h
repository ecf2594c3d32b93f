// Result codes that a request answers with. An operation that fails with the
// non-zero image status s answers kResultStepFailed + s.
#pragma once

namespace Vs4Command {

constexpr int kResultOk = 0;
constexpr int kResultUnknownVerb = 100;
// The operation is not one the runner knows, or a command file holds no command.
constexpr int kResultUnknownOperation = 101;
// GET: the source is missing. EXEC2: the image holds no bitmap.
constexpr int kResultSourceMissing = 102;
constexpr int kResultCommandFileNotFound = 103;
constexpr int kResultCommandNotAllowed = 105;
constexpr int kResultNoMemoryStream = 106;
constexpr int kResultWebCaptureFailed = 107;
constexpr int kResultStepFailed = 200;

// 0 for status 0, else 200 + status.
constexpr int ResultFromStatus(int status) {
    return status == 0 ? kResultOk : kResultStepFailed + status;
}

}  // namespace Vs4Command
