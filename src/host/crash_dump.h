// Writes "vistrel5.dmp" beside the executable when the process faults: the
// signal, the faulting address, the thread, a backtrace and the memory map.
// A later crash overwrites an earlier file. After writing, the signal's
// default action runs (the process ends, with a core dump where enabled).
#pragma once

#include <string>

// Installs the handlers for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT. The
// dump goes to `folder` (the executable's folder when empty, /tmp/ when that
// cannot be read) under the name `baseName` + ".dmp". The calling thread gets
// an alternate signal stack; other threads call
// Vs5Platform::EnsureSignalStack when they start, so that a stack overflow on
// any of them still writes the dump.
void InstallCrashDumpWriter(const std::string& baseName, const std::string& folder = "");

// Path the crash writer will use.
std::string CrashDumpPath();
