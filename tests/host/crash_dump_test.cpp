#include <gtest/gtest.h>

#include <sys/wait.h>

#include "support/child_process.h"
#include "support/temp_dir.h"

TEST(CrashDump, AFaultingProcessWritesTheDumpAndALaterCrashOverwritesIt) {
    vstest::TempDir dir;
    std::string exe = vstest::InstallProgram(VS_CRASH_CHILD, dir.path());
    {
        // Under AddressSanitizer its own SEGV report would run first; let ours handle it.
        vstest::ChildProcess child({exe, "segv"}, dir / "out.txt", {"ASAN_OPTIONS=handle_segv=0"});
        auto status = child.WaitExit(std::chrono::seconds(20));
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFSIGNALED(*status));
        EXPECT_EQ(WTERMSIG(*status), SIGSEGV);  // the default action still ends the process
    }
    std::string first = vstest::ReadFile(dir / "vistrel5.dmp");
    EXPECT_NE(first.find("signal: 11 (SEGV)"), std::string::npos);
    EXPECT_NE(first.find("backtrace:"), std::string::npos);
    EXPECT_NE(first.find("memory map:"), std::string::npos);

    {
        vstest::ChildProcess child({exe, "abort"}, dir / "out.txt",
                                   {"ASAN_OPTIONS=handle_abort=0"});
        auto status = child.WaitExit(std::chrono::seconds(20));
        ASSERT_TRUE(status);
        EXPECT_EQ(WTERMSIG(*status), SIGABRT);
    }
    std::string second = vstest::ReadFile(dir / "vistrel5.dmp");
    EXPECT_NE(second.find("signal: 6 (ABRT)"), std::string::npos);
    EXPECT_EQ(second.find("SEGV"), std::string::npos);  // overwritten, not appended
}

TEST(CrashDump, AStackOverflowOnAnotherThreadWritesTheDump) {
    vstest::TempDir dir;
    std::string exe = vstest::InstallProgram(VS_CRASH_CHILD, dir.path());
    // The sanitizer would give every thread an alternate stack of its own;
    // without that the thread has only the one it set up itself.
    vstest::ChildProcess child({exe, "overflow-thread"}, dir / "out.txt",
                               {"ASAN_OPTIONS=handle_segv=0:use_sigaltstack=0"});
    auto status = child.WaitExit(std::chrono::seconds(60));
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFSIGNALED(*status));
    std::string dump = vstest::ReadFile(dir / "vistrel5.dmp");
    EXPECT_NE(dump.find("signal: 11 (SEGV)"), std::string::npos) << dump.substr(0, 200);
    EXPECT_NE(dump.find("backtrace:"), std::string::npos);
}
