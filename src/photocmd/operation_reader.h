// Reading one command line into a typed operation value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "photocmd/operations.h"
#include "photocmd/param_map.h"
#include "photocmd/result_codes.h"

namespace Vs4Command {

// Who runs the operation; it decides which names are known and, for a few
// operations, how a parameter is read.
enum class Runner {
    Worker,         // a single command of GET or EXEC, through the worker
    InProcess,      // a single command of EXEC2
    WorkerFile,     // a command-file line of GET or EXEC
    InProcessFile,  // a command-file line of EXEC2
};

constexpr bool IsInProcess(Runner r) {
    return r == Runner::InProcess || r == Runner::InProcessFile;
}

// True when the runner knows the operation `cmd` (lower case, exact).
bool RunnerAccepts(Runner runner, std::string_view cmd);

// The folders an operation's file names are taken from.
struct OperationFolders {
    std::string frameFolder;
    std::string imageFolder;
};

// Everything a reader looks at. The current size is the image's size before
// the operation (in process) or the size the worker last reported.
struct ReaderInput {
    const ParamMap& params;
    int32_t currentWidth;
    int32_t currentHeight;
    const Settings& settings;  // size bounds, read at each use
    const OperationFolders& folders;
    Runner runner;
};

struct OperationReading {
    int result = kResultOk;  // kResultOk, kResultUnknownOperation or 200 + status
    Operation op;            // meaningful only when result is kResultOk
};

// Reads `cmd` (lower-cased) and that operation's parameters. An operation
// the runner does not know gives kResultUnknownOperation; a frame without a
// name gives 210; a file name that would leave its folder gives 200 + the
// load status for a missing file (merge, layernew) or 202 (frame).
OperationReading ReadOperation(const ParamMap& params, int32_t currentWidth, int32_t currentHeight,
                               const Settings& settings, const OperationFolders& folders,
                               Runner runner);

}  // namespace Vs4Command
