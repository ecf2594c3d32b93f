#include "host/crash_dump.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include "platform/module.h"
#include "platform/signal_stack.h"

namespace {

char gDumpPath[4096];

// Everything below runs inside a signal handler: only async-signal-safe calls,
// no allocation, no stdio.
void WriteAll(int fd, const char* text, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, text, size);
        if (n <= 0)
            return;
        text += n;
        size -= static_cast<size_t>(n);
    }
}

void WriteText(int fd, const char* text) {
    WriteAll(fd, text, strlen(text));
}

void WriteNumber(int fd, unsigned long long value, int base) {
    char digits[32];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    char out[34];
    int k = 0;
    if (base == 16) {
        out[k++] = '0';
        out[k++] = 'x';
    }
    while (n > 0)
        out[k++] = digits[--n];
    WriteAll(fd, out, static_cast<size_t>(k));
}

void CopyFile(int fd, const char* path) {
    int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return;
    char buffer[4096];
    ssize_t n;
    while ((n = read(in, buffer, sizeof(buffer))) > 0)
        WriteAll(fd, buffer, static_cast<size_t>(n));
    close(in);
}

void OnFatalSignal(int sig, siginfo_t* info, void*) {
    int fd = open(gDumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        WriteText(fd, "Zelkor Vistrel 5 Service crash report\nsignal: ");
        WriteNumber(fd, static_cast<unsigned>(sig), 10);
        WriteText(fd, " (");
        WriteText(fd, sigabbrev_np(sig) ? sigabbrev_np(sig) : "?");
        WriteText(fd, ")\nfault address: ");
        WriteNumber(fd, reinterpret_cast<unsigned long long>(info ? info->si_addr : nullptr), 16);
        WriteText(fd, "\nthread id: ");
        WriteNumber(fd, static_cast<unsigned long long>(syscall(SYS_gettid)), 10);
        WriteText(fd, "\nprocess id: ");
        WriteNumber(fd, static_cast<unsigned long long>(getpid()), 10);
        WriteText(fd, "\n\nbacktrace:\n");
        void* frames[64];
        int count = backtrace(frames, 64);
        backtrace_symbols_fd(frames, count, fd);
        WriteText(fd, "\nmemory map:\n");
        CopyFile(fd, "/proc/self/maps");
        close(fd);
    }
    // The handler was installed with SA_RESETHAND: raising again runs the
    // default action, which ends the process as the crash would have.
    raise(sig);
}

}  // namespace

void InstallCrashDumpWriter(const std::string& baseName, const std::string& folder) {
    std::string dir = folder.empty() ? Vs5Platform::ModuleFolder() : folder;
    if (dir.empty() || dir == ".")
        dir = "/tmp";
    std::string path = Vs5Platform::JoinPath(dir, baseName + ".dmp");
    strncpy(gDumpPath, path.c_str(), sizeof(gDumpPath) - 1);

    // backtrace() loads libgcc on first use; do that now, outside any handler.
    void* warmUp[1];
    backtrace(warmUp, 1);

    // The handler runs on the faulting thread's alternate stack; this is the
    // main thread's, every other thread sets up its own when it starts.
    Vs5Platform::EnsureSignalStack();

    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        sigaction(sig, &action, nullptr);
}

std::string CrashDumpPath() {
    return gDumpPath;
}
