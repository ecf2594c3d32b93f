// The server program run as a person and as systemd run it, and a process that
// faults: it writes vistrel5.dmp beside its program; a later crash overwrites it.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/text_count.h"

using namespace std::chrono_literals;

namespace {

const char kStopped[] = "# Service stopped successfully.\r\n";

// The server (and, unless told not to, its worker program) in a home of its own.
struct Home {
    vstest::TempDir dir;
    std::string exe;
    explicit Home(bool withWorker = true) {
        if (withWorker)
            vstest::InstallProgram(VS_WORKER_EXE, dir.path());
        exe = vstest::InstallProgram(VS_SERVER_EXE, dir.path());
    }
    std::string requestLog() const { return vstest::JoinedLogs(dir / "LogFiles", false); }
    int ExitCode(vstest::ChildProcess& p) {
        auto status = p.WaitExit(20s);
        return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }
};

}  // namespace

TEST(ServiceProcess, ConsoleStopsOnExactlyXAndEnter) {
    Home home;
    vstest::ChildProcess server({home.exe, "-debug"}, home.dir / "out.txt");
    for (int i = 0; i < 200 && !vstest::Exists(home.dir / "LogFiles"); ++i)
        std::this_thread::sleep_for(25ms);
    server.Write("X\n");
    server.Write("x \n");
    EXPECT_FALSE(server.WaitExit(500ms));
    server.Write("x\r\n");
    EXPECT_EQ(home.ExitCode(server), 0);
    EXPECT_EQ(vstest::ReadFile(home.dir / "out.txt")
                  .rfind("To exit this program, press x and enter key.\n", 0),
              0u);
    EXPECT_NE(home.requestLog().find(kStopped), std::string::npos);
}

TEST(ServiceProcess, ServiceModeTalksToSystemdAndEndsOnSigterm) {
    Home home;
    // Outside systemd there is nobody to report to: it exits at once, quietly.
    vstest::ChildProcess alone({home.exe, "-silent"}, home.dir / "alone.txt");
    EXPECT_EQ(home.ExitCode(alone), 0);
    EXPECT_EQ(vstest::ReadFile(home.dir / "alone.txt"), "");

    std::string socketPath = home.dir / "notify";
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{.sun_family = AF_UNIX, .sun_path = {}};
    strncpy(addr.sun_path, socketPath.c_str(), sizeof(addr.sun_path) - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    timeval timeout{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    auto notice = [fd] {
        char buffer[256];
        ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        return std::string(buffer, n > 0 ? n : 0);
    };

    vstest::ChildProcess server({home.exe}, home.dir / "out.txt", {"NOTIFY_SOCKET=" + socketPath});
    EXPECT_NE(notice().find("READY=1"), std::string::npos);
    server.Signal(SIGTERM);
    EXPECT_NE(notice().find("STOPPING=1"), std::string::npos);
    EXPECT_EQ(home.ExitCode(server), 0);
    EXPECT_NE(home.requestLog().find(kStopped), std::string::npos);
    close(fd);
}

TEST(ServiceProcess, WithoutItsWorkerProgramTheServerSaysWhyAndFails) {
    Home home(false);
    vstest::ChildProcess server({home.exe, "-debug"}, home.dir / "out.txt");
    EXPECT_EQ(home.ExitCode(server), 1);
    std::string log = home.requestLog();
    for (const char* line : {"# Remote image process failed to created(error:2).",
                             "No I/O thread has a worker process"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST(CrashDump, EachFaultWritesTheDumpAndTheProcessStillEndsByItsSignal) {
    vstest::TempDir dir;
    std::string exe = vstest::InstallProgram(VS_CRASH_CHILD, dir.path());
    struct Case {
        const char *mode, *sanitizer, *signalLine;
        int signal;
    } cases[] = {
        // Under AddressSanitizer its own report would run first; let ours handle it.
        {"segv", "ASAN_OPTIONS=handle_segv=0", "signal: 11 (SEGV)", SIGSEGV},
        {"abort", "ASAN_OPTIONS=handle_abort=0", "signal: 6 (ABRT)", SIGABRT},
        // The sanitizer would give every thread an alternate stack of its own;
        // without that the thread has only the one it set up itself.
        {"overflow-thread", "ASAN_OPTIONS=handle_segv=0:use_sigaltstack=0", "signal: 11 (SEGV)",
         SIGSEGV},
    };
    for (const Case& c : cases) {
        vstest::ChildProcess child({exe, c.mode}, dir / "out.txt", {c.sanitizer});
        auto status = child.WaitExit(std::chrono::seconds(60));
        ASSERT_TRUE(status) << c.mode;
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.signal) << c.mode;
        std::string dump = vstest::ReadFile(dir / "vistrel5.dmp");
        EXPECT_EQ(dump.find("signal: "), dump.rfind("signal: ")) << c.mode;  // overwritten
        for (const char* part : {c.signalLine, "backtrace:", "memory map:"})
            EXPECT_NE(dump.find(part), std::string::npos) << c.mode << ": " << part;
    }
}
