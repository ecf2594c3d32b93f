// Starts a program as a child process for a test, with a pipe to its standard
// input and its output collected in a file.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vstest {

// Puts the program (and any companions) into `folder` as hard links, falling
// back to copies, so that the program's module folder is the test's folder.
inline std::string InstallProgram(const std::string& program, const std::string& folder) {
    namespace fs = std::filesystem;
    fs::path target = fs::path(folder) / fs::path(program).filename();
    std::error_code ec;
    fs::create_hard_link(program, target, ec);
    if (ec)
        fs::copy_file(program, target, fs::copy_options::overwrite_existing);
    return target.string();
}

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& outputPath,
                 const std::vector<std::string>& extraEnv = {}) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        // The extra variables go first: of two with one name, a program reads the first.
        std::vector<std::string> args = argv, env = extraEnv;
        for (char** e = environ; *e; ++e)
            env.emplace_back(*e);
        if (posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, Pointers(args).data(),
                        Pointers(env).data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        stdin_ = fds[1];
    }
    ~ChildProcess() {
        CloseStdin();
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void Write(const std::string& text) {
        ssize_t n = write(stdin_, text.data(), text.size());
        (void)n;
    }
    void CloseStdin() {
        if (stdin_ >= 0)
            close(stdin_);
        stdin_ = -1;
    }
    void Signal(int sig) { kill(pid_, sig); }

    // The wait status once the child has ended within the time-out.
    std::optional<int> WaitExit(std::chrono::milliseconds timeout) {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return std::nullopt;
    }

private:
    // The null-terminated array of pointers posix_spawn takes.
    static std::vector<char*> Pointers(std::vector<std::string>& strings) {
        std::vector<char*> out;
        for (std::string& s : strings)
            out.push_back(s.data());
        out.push_back(nullptr);
        return out;
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    bool exited_ = false;
};

}  // namespace vstest
