// Helpers shared by the fuzz targets: the operation readers over a parsed
// command, and a check that aborts with a message (a libFuzzer crash).
#pragma once

#include <cstdio>
#include <cstdlib>

#include "config/settings.h"
#include "photocmd/operation_reader.h"
#include "photocmd/param_map.h"

namespace VsFuzz {

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void Check(bool condition, const char* what) {
    if (!condition)
        Fail(what);
}

// Reads the command with every runner, as a request line of each verb would
// be read, at a small and at an unusual current size.
inline void ReadWithEveryRunner(const Vs4Command::ParamMap& params) {
    static const Settings settings;
    static const Vs4Command::OperationFolders folders{"/nonexistent/frames", "/nonexistent/images"};
    using Vs4Command::Runner;
    for (Runner runner :
         {Runner::Worker, Runner::InProcess, Runner::WorkerFile, Runner::InProcessFile}) {
        Vs4Command::ReadOperation(params, 64, 48, settings, folders, runner);
        Vs4Command::ReadOperation(params, 1, 65535, settings, folders, runner);
    }
}

}  // namespace VsFuzz
