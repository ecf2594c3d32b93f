// Installs the crash writer, then faults as told: "abort", "overflow-thread"
// (a stack overflow on a thread that set up its signal stack as the server's
// threads do), or anything else for a SIGSEGV.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "host/crash_dump.h"
#include "platform/signal_stack.h"

volatile int gDepthLimit = 1 << 30;  // read at run time: not an endless loop to the compiler

int Recurse(int depth) {
    volatile char frame[4096];  // kept: the compiler cannot drop it
    frame[depth % sizeof(frame)] = static_cast<char>(depth);
    return depth < gDepthLimit ? Recurse(depth + 1) + frame[0] : 0;
}

int main(int argc, char** argv) {
    InstallCrashDumpWriter("vistrel5", "");
    if (argc > 1 && strcmp(argv[1], "abort") == 0)
        abort();
    if (argc > 1 && strcmp(argv[1], "overflow-thread") == 0)
        std::thread([] { Vs5Platform::EnsureSignalStack(), Recurse(0); }).join();
    raise(SIGSEGV);
}
