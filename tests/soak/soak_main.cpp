// soak: drives a real vistrel5 with its real workers for a while and checks
// that it keeps answering, keeps its memory and descriptors, and that its
// result cache survives a crash.
//   soak [--seconds N | --minutes N] [--connections N] [--kill-every S]
//        [--ini-every S] [--threads N] [--bin FOLDER] [--keep]
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "soak/soak_run.h"

namespace {

int Usage() {
    fprintf(stderr,
            "usage: soak [--seconds N | --minutes N] [--connections N] [--kill-every S]\n"
            "            [--ini-every S] [--threads N] [--bin FOLDER] [--keep]\n");
    return 2;
}

// A whole positive number, or -1.
int Positive(const char* text) {
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    return end != text && *end == '\0' && value > 0 && value <= 1000000 ? static_cast<int>(value)
                                                                        : -1;
}

bool Parse(int argc, char** argv, Soak::Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--keep") {
            options.keep = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (name == "--bin") {
            options.binFolder = value;
            continue;
        }
        const int n = Positive(value);
        if (n < 0)
            return false;
        if (name == "--seconds")
            options.seconds = n;
        else if (name == "--minutes")
            options.seconds = n * 60;
        else if (name == "--connections")
            options.connections = n;
        else if (name == "--kill-every")
            options.killEvery = n;
        else if (name == "--ini-every")
            options.iniEvery = n;
        else if (name == "--threads")
            options.ioThreads = std::min(n, 6);
        else
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Soak::Options options;
    // By default the server programs are the ones built beside this one.
    options.binFolder = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    if (!Parse(argc, argv, options))
        return Usage();
    setvbuf(stdout, nullptr, _IOLBF, 0);
    return Soak::SoakRun(options).Run();
}
