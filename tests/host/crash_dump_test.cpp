// A process that faults writes vistrel5.dmp beside its program; a later
// crash overwrites it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "support/child_process.h"
#include "support/temp_dir.h"

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
