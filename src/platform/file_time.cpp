#include "platform/file_time.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace Vs5Platform {

FileTime FileTimeFromTimespec(const timespec& ts) {
    return kUnixEpochAsFileTime + static_cast<FileTime>(ts.tv_sec) * kFileTimeUnitsPerSecond +
           static_cast<FileTime>(ts.tv_nsec) / 100;
}

timespec TimespecFromFileTime(FileTime ft) {
    timespec ts{};
    FileTime sinceEpoch = ft > kUnixEpochAsFileTime ? ft - kUnixEpochAsFileTime : 0;
    ts.tv_sec = static_cast<time_t>(sinceEpoch / kFileTimeUnitsPerSecond);
    ts.tv_nsec = static_cast<long>(sinceEpoch % kFileTimeUnitsPerSecond) * 100;
    return ts;
}

FileTime FileTimeNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FileTimeFromTimespec(ts);
}

std::optional<FileTime> LastWriteTime(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileTimeFromTimespec(st.st_mtim);
}

std::optional<FileTime> CreationTime(const std::string& path, bool followLinks) {
    struct statx stx {};
    int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    if (statx(AT_FDCWD, path.c_str(), flags, STATX_BTIME | STATX_CTIME, &stx) != 0)
        return std::nullopt;
    const statx_timestamp& t = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_ctime;
    timespec ts{};
    ts.tv_sec = t.tv_sec;
    ts.tv_nsec = t.tv_nsec;
    return FileTimeFromTimespec(ts);
}

bool SetLastWriteTime(const std::string& path, FileTime ft) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = TimespecFromFileTime(ft);
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace Vs5Platform
