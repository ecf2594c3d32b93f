#include "platform/dir_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

namespace Vs5Platform {

DirectoryWatch::DirectoryWatch(const std::string& folder)
    : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), wd_(-1) {
    if (fd_ < 0)
        return;
    // A write, a new file, a rename into the folder and a touch all change a
    // last-write time in the folder (a touch of the modification time alone
    // is reported as a modification).
    wd_ = inotify_add_watch(
        fd_, folder.c_str(),
        IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_ONLYDIR);
}

DirectoryWatch::~DirectoryWatch() {
    if (fd_ >= 0)
        close(fd_);
}

void DirectoryWatch::Rearm() {
    alignas(inotify_event) char buffer[4096];
    while (read(fd_, buffer, sizeof(buffer)) > 0) {
    }
}

}  // namespace Vs5Platform
