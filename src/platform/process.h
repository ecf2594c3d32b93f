// Child processes: the worker processes and the capture tool. A child starts
// with an empty signal mask and default signal handlers (the server blocks
// SIGINT and SIGTERM in every thread), and inherits no descriptor but its
// standard ones, so no child holds a client connection or the listener open.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace Vs5Platform {

// Starts argv[0] (a path, not searched on PATH) with `argv`. `workingFolder`
// empty keeps the current folder. Returns the process id, or -1 with `error`
// set to the errno of the failure.
pid_t SpawnProcess(const std::vector<std::string>& argv, const std::string& workingFolder,
                   int& error);

// Finds `name` in the folders of PATH; empty when it is not there.
std::string FindOnPath(const std::string& name);

// Waits up to `timeoutMs` (negative: for ever) for the child to end. True
// when it ended; `exitCode` is its exit status, or 128 + the signal that
// ended it.
bool WaitProcess(pid_t pid, int timeoutMs, int& exitCode);

// Kills the child with SIGKILL and reaps it.
void KillProcess(pid_t pid);

}  // namespace Vs5Platform
