// The server process driven as a person and as systemd drive it.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include "support/child_process.h"
#include "support/temp_dir.h"

using namespace std::chrono_literals;

namespace {

std::string RequestLogText(const vstest::TempDir& home) {
    std::string text;
    for (auto& entry : std::filesystem::directory_iterator(home / "LogFiles"))
        if (entry.path().filename().string().rfind("System_", 0) != 0)
            text += vstest::ReadFile(entry.path().string());
    return text;
}

// The server and its worker program, side by side in the test's home.
std::string InstallServer(const vstest::TempDir& home) {
    vstest::InstallProgram(VS_WORKER_EXE, home.path());
    return vstest::InstallProgram(VS_SERVER_EXE, home.path());
}

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 200 && !vstest::Exists(path); ++i)
        std::this_thread::sleep_for(25ms);
    return vstest::Exists(path);
}

}  // namespace

TEST(ServiceProcess, ConsoleStopsOnExactlyXAndEnter) {
    vstest::TempDir home;
    std::string exe = InstallServer(home);
    vstest::ChildProcess server({exe, "-debug"}, home / "out.txt");
    ASSERT_TRUE(WaitForFile(home / "LogFiles"));
    server.Write("X\n");
    server.Write("x \n");
    EXPECT_FALSE(server.WaitExit(500ms));
    server.Write("x\r\n");
    auto status = server.WaitExit(20s);
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    std::string out = vstest::ReadFile(home / "out.txt");
    EXPECT_EQ(out.rfind("To exit this program, press x and enter key.\n", 0), 0u);
    EXPECT_NE(RequestLogText(home).find("# Service stopped successfully.\r\n"), std::string::npos);
    for (const char* sub :
         {"TempFiles", "Cache/cache0007", "Cache/nocache", "Frame", "Command/Images"})
        EXPECT_TRUE(vstest::Exists(home / sub)) << sub;
}

TEST(ServiceProcess, ConsoleKeepsRunningWithoutInputUntilSignalled) {
    vstest::TempDir home;
    std::string exe = InstallServer(home);
    vstest::ChildProcess server({exe, "-debug"}, home / "out.txt");
    server.CloseStdin();
    EXPECT_FALSE(server.WaitExit(700ms));
    server.Signal(SIGTERM);
    auto status = server.WaitExit(20s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_NE(RequestLogText(home).find("# Service stopped successfully.\r\n"), std::string::npos);
}

TEST(ServiceProcess, ServiceModeTalksToSystemdAndEndsOnSigterm) {
    vstest::TempDir home;
    std::string exe = InstallServer(home);

    // Outside systemd there is nobody to report to: it exits at once, quietly.
    {
        vstest::ChildProcess alone({exe, "-silent"}, home / "alone.txt");
        auto status = alone.WaitExit(20s);
        ASSERT_TRUE(status);
        EXPECT_EQ(WEXITSTATUS(*status), 0);
        EXPECT_EQ(vstest::ReadFile(home / "alone.txt"), "");
    }

    std::string socketPath = home / "notify";
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, socketPath.c_str(), sizeof(addr.sun_path) - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    timeval timeout{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));

    vstest::ChildProcess server({exe}, home / "out.txt", {"NOTIFY_SOCKET=" + socketPath});
    char buffer[256] = {};
    ssize_t n = recv(fd, buffer, sizeof(buffer) - 1, 0);
    ASSERT_GT(n, 0);
    EXPECT_NE(std::string(buffer, n).find("READY=1"), std::string::npos);
    EXPECT_TRUE(vstest::Exists(home / "Cache/cache0000"));

    server.Signal(SIGTERM);
    n = recv(fd, buffer, sizeof(buffer) - 1, 0);
    ASSERT_GT(n, 0);
    EXPECT_NE(std::string(buffer, n).find("STOPPING=1"), std::string::npos);
    auto status = server.WaitExit(20s);
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_NE(RequestLogText(home).find("# Service stopped successfully.\r\n"), std::string::npos);
    close(fd);
}

TEST(ServiceProcess, WithoutItsWorkerProgramTheServerSaysWhyAndFails) {
    vstest::TempDir home;
    std::string exe = vstest::InstallProgram(VS_SERVER_EXE, home.path());
    vstest::ChildProcess server({exe, "-debug"}, home / "out.txt");
    auto status = server.WaitExit(20s);
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 1);
    std::string log = RequestLogText(home);
    EXPECT_NE(log.find("# Remote image process failed to created(error:2)."), std::string::npos);
    EXPECT_NE(log.find("No I/O thread has a worker process"), std::string::npos);
    EXPECT_NE(log.find("# Service stopped successfully."), std::string::npos);
}
