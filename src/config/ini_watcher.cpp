// The INI watcher thread: reloads the settings when the INI file's last-write
// time changes, and about once an hour clears old files out of the no-cache
// folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/configuration.h"
#include "config/file_remover.h"
#include "platform/dir_watch.h"
#include "platform/signal_stack.h"

namespace {

// What tells one version of the file from another.
struct FileState {
    bool exists = false;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    bool operator==(const FileState& o) const {
        return exists == o.exists && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

FileState StateOf(const struct stat& st) {
    return {true, st.st_size, st.st_mtim, st.st_ctim};
}

FileState StateOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? StateOf(st) : FileState{};
}

// Reads the whole file; `text` is only good when the file kept its size and
// times from before the first byte to after the last.
bool ReadUnchanged(const std::string& path, const FileState& expected, std::string& text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return !expected.exists;  // a missing file reads as empty, as at start
    struct stat before {};
    bool ok = fstat(fd, &before) == 0 && StateOf(before) == expected;
    char buffer[8192];
    ssize_t n;
    while (ok && (n = read(fd, buffer, sizeof(buffer))) > 0)
        text.append(buffer, static_cast<size_t>(n));
    struct stat after {};
    ok = ok && n == 0 && fstat(fd, &after) == 0 && StateOf(after) == expected;
    close(fd);
    // A rename over the path leaves the descriptor on the old file.
    return ok && StateOf(path) == expected;
}

}  // namespace

// A file that is being written must never be applied half-written: a missing
// AccessPermit line would admit the default address. The file is read only
// once it has stayed the same for the settle time, and only when it did not
// change while it was read; otherwise the current settings stay and the file
// is looked at again.
bool Configuration::ReadQuietIni(const Vs5Platform::ManualResetEvent* stop,
                                 Vs5Platform::IniFile& ini, Vs5Platform::FileTime& stamp) {
    FileState seen = StateOf(iniPath_);
    for (;;) {
        if (Vs5Platform::WaitAny({stop->fd(), quit_.fd()}, watcherSettleMs_) >= 0)
            return false;
        FileState now = StateOf(iniPath_);
        std::string text;
        if (now == seen && ReadUnchanged(iniPath_, now, text)) {
            ini = Vs5Platform::IniFile::Parse(text);
            stamp = now.exists ? Vs5Platform::FileTimeFromTimespec(now.mtime) : 0;
            return true;
        }
        seen = now;
    }
}

void Configuration::WatchIniFile(const Vs5Platform::ManualResetEvent* stop) {
    Vs5Platform::EnsureSignalStack();
    Vs5Platform::DirectoryWatch watch(moduleFolder_);
    if (!watch.valid())
        return;
    unsigned timeouts = 0;
    for (;;) {
        int woke = Vs5Platform::WaitAny({stop->fd(), quit_.fd(), watch.fd()}, watcherTimeoutMs_);
        if (woke == 0 || woke == 1)
            return;
        if (woke == 2) {
            watch.Rearm();
            Vs5Platform::FileTime now = Vs5Platform::LastWriteTime(iniPath_).value_or(0);
            if (now == iniTimeStamp())
                continue;
            Vs5Platform::IniFile ini;
            Vs5Platform::FileTime stamp = 0;
            if (!ReadQuietIni(stop, ini, stamp))
                return;
            // Notifications that came while the file settled stay pending: the
            // next wake compares the time stamp again and finds nothing new.
            ApplySettings(ini, stamp, false);
            systemLog_.WriteLine("%s\r\n", "INI file has changed and reloaded");
        } else if (++timeouts % 60 == 0) {
            Vs5Util::CFileRemover().RemoveOldFiles(noCacheFolder_, "*.*", 1, false,
                                                   watcherClock_());
        }
    }
}
