// Installs the crash writer, then faults in the way the first argument names.
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "host/crash_dump.h"

int main(int argc, char** argv) {
    InstallCrashDumpWriter("vistrel5", argc > 2 ? argv[2] : "");
    if (argc > 1 && strcmp(argv[1], "abort") == 0)
        abort();
    raise(SIGSEGV);
    return 0;
}
