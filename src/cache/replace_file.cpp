#include "cache/replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string Describe(const char* step, int err) {
    return std::string(step) + ": " + strerror(err) + " (" + std::to_string(err) + ")";
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable; a failure here loses nothing that the
// rename has not already made visible, so it is not reported.
void SyncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

}  // namespace

bool ReplaceFileContent(const std::string& path, std::string_view content,
                        const BeforeRenameHook& beforeRename, std::string& error) {
    const std::string temp = path + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = Describe("create", errno);
        return false;
    }
    const char* failedStep = nullptr;
    if (!WriteAll(fd, content))
        failedStep = "write";
    else if (fsync(fd) != 0)
        failedStep = "flush";
    int err = errno;
    if (close(fd) != 0 && !failedStep) {
        failedStep = "close";
        err = errno;
    }
    if (!failedStep) {
        if (beforeRename)
            beforeRename(temp);
        if (rename(temp.c_str(), path.c_str()) == 0) {
            SyncFolder(FolderOf(path));
            return true;
        }
        failedStep = "rename";
        err = errno;
    }
    error = Describe(failedStep, err);
    unlink(temp.c_str());
    return false;
}
