// The line loop shared by both command-file runners: the worker one sends
// each line's operation through the worker link, the in-process one applies
// it to the line's layer. Only what a line does differs.
#pragma once

#include <functional>

#include "photocmd/command_file_store.h"
#include "photocmd/param_map.h"

namespace Vs4Command {

// Fills the lines of `file` from `request` one after the other and hands each
// filled line to `runLine`, which answers a result code. The first code that
// is not kResultOk ends the run and is the answer; a file without commands
// answers kResultUnknownOperation; after the last line the answer is kResultOk.
int RunCommandFileLines(const CommandFile& file, const ParamMap& request,
                        const std::function<int(const ParamMap& line)>& runLine);

}  // namespace Vs4Command
