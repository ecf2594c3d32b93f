#include "host/systemctl.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/module.h"
#include "platform/text.h"

extern char** environ;

bool ServiceManager::Reachable() const {
    struct stat st {};
    if (stat(runtimeFolder.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

std::string ServiceManager::UnitPath(const std::string& serviceName) const {
    return Vs5Platform::JoinPath(unitFolder, serviceName + ".service");
}

int ServiceManager::Run(const std::vector<std::string>& args, std::string* output) const {
    return RunProgram(systemctl, args, output);
}

int RunProgram(const std::string& program, const std::vector<std::string>& args,
               std::string* output) {
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string text;
    if (rc == 0) {
        char buffer[512];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof(buffer))) > 0)
            text.append(buffer, n);
    }
    close(pipeFds[0]);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output)
        *output = std::string(Vs5Platform::TrimBlanks(text));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
