// The server process of the soak, what /proc says about it and its workers,
// and the check of its result cache after a crash.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "client/connection.h"
#include "client/verb_requests.h"
#include "soak/soak.h"
#include "support/temp_dir.h"

namespace Soak {

namespace fs = std::filesystem;

Server::Server(std::string folder, uint16_t port) : port(port), folder_(std::move(folder)) {
    const std::string bin = fs::read_symlink("/proc/self/exe").parent_path().string();
    for (const char* program : {"/vistrel5", "/vistrelremt"})
        fs::copy_file(bin + program, folder_ + program);
    WriteIni(0);
}

void Server::WriteIni(int variant) const {
    // The cache limit is far above what the soak's bounded set of results
    // takes: nothing is evicted, so the cache check after a crash is exact.
    const std::string ini = "[Server]\r\nPort=" + std::to_string(port) +
                            "\r\nAccessPermit=127.0.0.1;\r\nEngineWorkprocessCount=4\r\n"
                            "MaxCacheSize=1024\r\nCacheSubFolders=8\r\nKeepLogDay=" +
                            (variant % 2 ? "31" : "30") + "\r\n[ImageProcessing]\r\n" +
                            "ImageJpegQuality=" + (variant % 3 ? "85" : "90") + "\r\n";
    // In place, as an editor saves it: the watcher must cope with the rewrite.
    vstest::WriteFile(File("vistrel5.ini"), ini);
}

bool Server::Start(std::string& error) {
    ended_.reset();
    child_ = std::make_unique<vstest::ChildProcess>(
        std::vector<std::string>{File("vistrel5"), "-debug"},
        File("output-" + std::to_string(++starts_) + ".txt"));
    // Ready when an unknown verb is answered with status 100.
    for (int i = 0; child_->started() && i < 450; ++i) {
        int status = 0;
        if (!Alive(status)) {
            error = "vistrel5 ended while starting (" + DescribeStatus(status) + ")";
            return false;
        }
        VsClient::Connection c;
        VsClient::Response r;
        if (c.Connect("127.0.0.1", port, 5000) &&
            c.Request(VsClient::BuildRequestFrame("SOAKPING", VsClient::kEncodingUtf16, {}), r) &&
            r.status == 100)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    error = "vistrel5 did not start and answer within 90 s";
    return false;
}

std::optional<int> Server::Stop() {
    if (!ended_) {
        child_->Signal(SIGTERM);
        ended_ = child_->WaitExit(std::chrono::seconds(120));
        if (!ended_) {
            Kill();
            return std::nullopt;
        }
    }
    return ended_;
}

void Server::Kill() {
    if (!ended_) {
        child_->Signal(SIGKILL);
        ended_ = child_->WaitExit(std::chrono::seconds(30));
    }
}

bool Server::Alive(int& status) {
    // A reaped child is never waited for again: its number may be reused.
    if (!ended_)
        ended_ = child_->WaitExit(std::chrono::milliseconds(1));
    status = ended_.value_or(0);
    return !ended_;
}

std::string Server::Logs(bool system) const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(File("LogFiles"), ec))
        if (e.path().extension() == ".log" &&
            (e.path().filename().string().rfind("System_", 0) == 0) == system)
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::string text;
    for (const fs::path& f : files)
        text += vstest::ReadFile(f.string());
    return text;
}

std::string Server::Tail() const {
    const std::string text = vstest::ReadFile(File("output-" + std::to_string(starts_) + ".txt"));
    return text.substr(text.size() > 2000 ? text.size() - 2000 : 0);
}

uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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

uint64_t MemoryKb(pid_t pid, const std::string& field) {
    const std::string text = vstest::ReadFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = text.find("\n" + field + ":");
    return at == std::string::npos ? 0 : std::strtoull(&text[at + field.size() + 2], nullptr, 10);
}

int Descriptors(pid_t pid, int* sockets) {
    std::error_code ec;
    int count = 0;
    if (sockets != nullptr)
        *sockets = 0;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        ++count;
        if (sockets != nullptr)
            *sockets += fs::read_symlink(e.path(), ec).string().rfind("socket:", 0) == 0 ? 1 : 0;
    }
    return ec ? -1 : count;
}

std::string DescribeDescriptors(pid_t pid) {
    std::string text;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
        text += "\n    " + e.path().filename().string() + " -> " +
                fs::read_symlink(e.path(), ec).string();
    return text;
}

std::vector<pid_t> WorkersOf(pid_t server) {
    std::vector<pid_t> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        std::ifstream stat(e.path() / "stat");
        std::string pid, comm, state, parent;
        if (stat >> pid >> comm >> state >> parent && comm == "(vistrelremt)" &&
            parent == std::to_string(server))
            out.push_back(std::stoi(pid));
    }
    return out;
}

std::string DescribeStatus(const std::optional<int>& status) {
    if (!status)
        return "no exit within the time-out";
    if (WIFEXITED(*status))
        return "exit " + std::to_string(WEXITSTATUS(*status));
    return WIFSIGNALED(*status) ? "signal " + std::to_string(WTERMSIG(*status))
                                : "status " + std::to_string(*status);
}

std::vector<std::pair<std::string, uint64_t>> ReadIndex(const std::string& indexFile) {
    // UTF-8 with a byte-order mark, CR LF lines of "key,path,size".
    std::istringstream text(vstest::ReadFile(indexFile));
    std::vector<std::pair<std::string, uint64_t>> entries;
    for (std::string line; std::getline(text, line);) {
        const size_t first = line.find(','), last = line.rfind(',');
        if (first != std::string::npos && last != first)
            entries.emplace_back(line.substr(first + 1, last - first - 1),
                                 std::strtoull(&line[last + 1], nullptr, 10));
    }
    return entries;
}

namespace {

// What a GET for `request` ("source\ncommand") answers now: its path, or a status.
std::string AskAgain(VsClient::Connection& c, uint16_t port, const std::string& request) {
    const size_t split = request.find('\n');
    VsClient::Response r;
    std::string path;
    if ((c.connected() || c.Connect("127.0.0.1", port, 120000)) &&
        c.Request(VsClient::BuildGetFrame(request.substr(0, split), request.substr(split + 1)),
                  r) &&
        r.status == 0 && VsClient::PayloadBareText(r, VsClient::kEncodingUtf16, 0, path))
        return path;
    c.Close();
    return "status " + std::to_string(r.status);
}

}  // namespace

std::vector<std::string> CheckCache(const Server& server,
                                    const std::map<std::string, std::string>& answers,
                                    size_t& entries) {
    std::map<std::string, std::string> requestOf;  // path -> "source\ncommand"
    for (const auto& [request, path] : answers)
        requestOf.emplace(path, request);
    std::vector<std::string> problems;
    VsClient::Connection c;
    const auto index = ReadIndex(server.File("Cache/index.dat"));
    entries = index.size();
    for (const auto& [path, size] : index) {
        std::error_code ec;
        const uint64_t onDisk = fs::file_size(path, ec);
        const auto it = requestOf.find(path);
        std::string answer;
        if (ec || onDisk != size)
            problems.push_back("listed at " + std::to_string(size) + " bytes, on disk " +
                               (ec ? "missing" : std::to_string(onDisk)) + ": " + path);
        else if (it == requestOf.end())
            problems.push_back("listed, but no GET of the soak answered it: " + path);
        else if ((answer = AskAgain(c, server.port, it->second)) != path)
            problems.push_back("a repeated GET answered " + answer + " instead of " + path);
    }
    return problems;
}

}  // namespace Soak
