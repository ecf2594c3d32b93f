// Installs the crash writer, then faults in the way the first argument names:
// "abort", "overflow-thread" (a stack overflow on a second thread that set up
// its signal stack as the server's threads do), or a SIGSEGV.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "host/crash_dump.h"
#include "platform/signal_stack.h"

namespace {

// Far deeper than any thread stack; read at run time so the call is not
// taken for an endless loop.
volatile int gDepthLimit = 1 << 30;

// Each call keeps a buffer the compiler cannot drop, until the stack runs out.
int Recurse(int depth) {
    volatile char frame[4096];
    frame[depth % sizeof(frame)] = static_cast<char>(depth);
    return depth < gDepthLimit ? Recurse(depth + 1) + frame[0] : 0;
}

}  // namespace

int main(int argc, char** argv) {
    InstallCrashDumpWriter("vistrel5", argc > 2 ? argv[2] : "");
    if (argc > 1 && strcmp(argv[1], "abort") == 0)
        abort();
    if (argc > 1 && strcmp(argv[1], "overflow-thread") == 0) {
        std::thread([] {
            Vs5Platform::EnsureSignalStack();
            Recurse(0);
        }).join();
    }
    raise(SIGSEGV);
    return 0;
}
