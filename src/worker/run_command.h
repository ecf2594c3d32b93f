// The runners of GET and EXEC: a command, or a command file with its layers,
// read in this process and carried out by the thread's worker. Parameters
// are read exactly as in process; the current size is the one the worker
// last reported, so after a crop through a worker "scale" still counts from
// the size of the last load or resize.
#pragma once

#include "config/settings.h"
#include "photocmd/command_file_store.h"
#include "photocmd/operation_reader.h"
#include "photocmd/param_map.h"
#include "worker/worker_link.h"

namespace Vs5Worker {

// 0, 101 for an operation a worker does not run, or 200 + the worker status.
int RunCommand(WorkerLink& link, const Vs4Command::ParamMap& params, const Settings& settings,
               const Vs4Command::OperationFolders& folders);

// Each filled line first makes its `layer` value the link's layer (empty when
// absent); the layer stays set after the file ends.
int RunCommandFile(WorkerLink& link, const Vs4Command::CommandFile& file,
                   const Vs4Command::ParamMap& request, const Settings& settings,
                   const Vs4Command::OperationFolders& folders);

}  // namespace Vs5Worker
