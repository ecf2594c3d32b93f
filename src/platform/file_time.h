// File times kept as FILETIME numbers (100-ns units since 1601-01-01 UTC), so
// that version tags, cache keys and the cache index keep their form.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace Vs5Platform {

using FileTime = uint64_t;

// 100-ns units between 1601-01-01 and 1970-01-01.
constexpr FileTime kUnixEpochAsFileTime = 116444736000000000ULL;
constexpr FileTime kFileTimeUnitsPerSecond = 10000000ULL;

FileTime FileTimeFromTimespec(const timespec& ts);
timespec TimespecFromFileTime(FileTime ft);
FileTime FileTimeNow();

// Last-write time of a file or folder; nullopt when it does not exist.
std::optional<FileTime> LastWriteTime(const std::string& path);

// Creation time: the birth time where the file system records it, else the
// status-change time. nullopt when the entry does not exist. Without
// `followLinks` a symbolic link's own time is read, so a link whose target is
// gone still has one.
std::optional<FileTime> CreationTime(const std::string& path, bool followLinks = true);

// Sets the last-write time (used by tests and by tools).
bool SetLastWriteTime(const std::string& path, FileTime ft);

}  // namespace Vs5Platform
