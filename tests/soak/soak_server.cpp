#include "soak/soak_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "client/connection.h"
#include "support/temp_dir.h"

namespace Soak {

namespace fs = std::filesystem;

uint16_t FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

ServerFolder::ServerFolder(std::string path, const std::string& binFolder, uint16_t port,
                           int ioThreads)
    : path_(std::move(path)), port_(port), ioThreads_(ioThreads) {
    for (const char* program : {"vistrel5", "vistrelremt"})
        fs::copy_file(binFolder + "/" + program, File(program),
                      fs::copy_options::overwrite_existing);
    WriteIni(0);
}

void ServerFolder::WriteIni(int variant) const {
    // The cache limit is far above what the soak's bounded set of results
    // takes, so nothing is evicted and the index check after a crash is exact.
    std::ostringstream ini;
    ini << "[Server]\r\nPort=" << port_ << "\r\nAccessPermit=127.0.0.1;\r\n"
        << "EngineWorkprocessCount=" << ioThreads_ << "\r\nMaxCacheSize=1024\r\n"
        << "CacheSubFolders=8\r\nKeepLogDay=" << (variant % 2 ? 31 : 30) << "\r\n"
        << "[ImageProcessing]\r\nImageJpegQuality=" << (variant % 3 ? 85 : 90) << "\r\n";
    // In place, as an editor saves it: the watcher must cope with the rewrite.
    vstest::WriteFile(File("vistrel5.ini"), ini.str());
}

namespace {

std::string JoinLogs(const std::string& folder, bool systemLogs) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (e.path().extension() == ".log" && (name.rfind("System_", 0) == 0) == systemLogs)
            files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    std::string text;
    for (const fs::path& f : files)
        text += vstest::ReadFile(f.string());
    return text;
}

uint64_t StatusField(const std::string& text, const std::string& name) {
    size_t at = text.find("\n" + name + ":");
    if (at == std::string::npos)
        return 0;
    return std::strtoull(text.c_str() + at + name.size() + 2, nullptr, 10);
}

}  // namespace

std::string ServerFolder::RequestLogs() const {
    return JoinLogs(File("LogFiles"), false);
}

std::string ServerFolder::SystemLogs() const {
    return JoinLogs(File("LogFiles"), true);
}

std::optional<Memory> ReadMemory(pid_t pid) {
    std::string text = vstest::ReadFile("/proc/" + std::to_string(pid) + "/status");
    if (text.empty())
        return std::nullopt;
    return Memory{StatusField(text, "VmRSS"), StatusField(text, "VmHWM")};
}

int CountDescriptors(pid_t pid) {
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (dirent* e = readdir(dir))
        count += e->d_name[0] != '.' ? 1 : 0;
    closedir(dir);
    return count;
}

std::vector<std::string> DescribeDescriptors(pid_t pid) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
        out.push_back(e.path().filename().string() + " -> " +
                      fs::read_symlink(e.path(), ec).string());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<pid_t> WorkersOf(pid_t parent) {
    std::vector<pid_t> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        std::ifstream stat(e.path() / "stat");
        std::string pid, comm, state, ppid;
        if (stat >> pid >> comm >> state >> ppid && comm == "(vistrelremt)" &&
            ppid == std::to_string(parent))
            out.push_back(std::stoi(pid));
    }
    return out;
}

bool ServerProcess::Start(std::string& error) {
    ended_.reset();
    child_ = std::make_unique<vstest::ChildProcess>(
        std::vector<std::string>{folder_.File("vistrel5"), "-debug"},
        folder_.File("server-output-" + std::to_string(++starts_) + ".txt"));
    if (!child_->started()) {
        error = "vistrel5 could not be started";
        return false;
    }
    return WaitReady(error);
}

bool ServerProcess::WaitReady(std::string& error) {
    // The server is ready when an unknown verb is answered (status 100).
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (!Alive(status)) {
            error = "vistrel5 ended while starting (" + DescribeWaitStatus(status) + ")";
            return false;
        }
        VsClient::Connection c;
        VsClient::Response r;
        if (c.Connect("127.0.0.1", folder_.port(), 5000) &&
            c.Request(VsClient::BuildRequestFrame("SOAKPING", VsClient::kEncodingUtf16, {}), r) &&
            r.status == 100)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    error = "vistrel5 did not answer within 90 seconds";
    return false;
}

std::optional<int> ServerProcess::StopCleanly(int timeoutSeconds) {
    if (ended_)
        return ended_;
    child_->Signal(SIGTERM);
    ended_ = child_->WaitExit(std::chrono::seconds(timeoutSeconds));
    if (ended_)
        return ended_;
    Kill();
    return std::nullopt;
}

void ServerProcess::Kill() {
    if (ended_)
        return;
    child_->Signal(SIGKILL);
    ended_ = child_->WaitExit(std::chrono::seconds(30));
}

bool ServerProcess::Alive(int& status) {
    // A reaped child is never waited for again: its number may be reused.
    if (!ended_)
        ended_ = child_->WaitExit(std::chrono::milliseconds(1));
    if (ended_)
        status = *ended_;
    return !ended_;
}

std::string ServerProcess::OutputTail(size_t bytes) const {
    std::string text =
        vstest::ReadFile(folder_.File("server-output-" + std::to_string(starts_) + ".txt"));
    return text.size() > bytes ? text.substr(text.size() - bytes) : text;
}

std::string DescribeWaitStatus(int status) {
    if (WIFEXITED(status))
        return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace Soak
