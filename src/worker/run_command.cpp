#include "worker/run_command.h"

#include "photocmd/command_file_run.h"
#include "photocmd/param_readers.h"
#include "photocmd/result_codes.h"

namespace Vs5Worker {

using namespace Vs4Command;

namespace {

int RunLine(WorkerLink& link, const ParamMap& params, const Settings& settings,
            const OperationFolders& folders, Runner runner) {
    OperationReading reading =
        ReadOperation(params, link.width(), link.height(), settings, folders, runner);
    if (reading.result != kResultOk)
        return reading.result;
    return ResultFromStatus(static_cast<int>(link.Apply(reading.op)));
}

}  // namespace

int RunCommand(WorkerLink& link, const ParamMap& params, const Settings& settings,
               const OperationFolders& folders) {
    return RunLine(link, params, settings, folders, Runner::Worker);
}

int RunCommandFile(WorkerLink& link, const CommandFile& file, const ParamMap& request,
                   const Settings& settings, const OperationFolders& folders) {
    return RunCommandFileLines(file, request, [&](const ParamMap& line) {
        link.SetLayer(GetLowerString(line, "layer"));
        return RunLine(link, line, settings, folders, Runner::WorkerFile);
    });
}

}  // namespace Vs5Worker
