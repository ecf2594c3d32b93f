// Change notification on one folder (not its sub-folders) for changes of
// last-write times, on inotify.
#pragma once

#include <string>

namespace Vs5Platform {

class DirectoryWatch {
public:
    explicit DirectoryWatch(const std::string& folder);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    bool valid() const { return fd_ >= 0 && wd_ >= 0; }
    // Readable when a change has been noticed.
    int fd() const { return fd_; }
    // Drains the pending notifications so that the descriptor waits again.
    void Rearm();

private:
    int fd_;
    int wd_;
};

}  // namespace Vs5Platform
