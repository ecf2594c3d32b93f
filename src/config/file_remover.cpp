#include "config/file_remover.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <memory>

#include "platform/module.h"

namespace Vs5Util {

namespace {

bool Matches(const std::string& pattern, const char* name) {
    // "*.*" is the old "every file" pattern: it matches names without a dot too.
    if (pattern == "*.*" || pattern == "*")
        return true;
    return fnmatch(pattern.c_str(), name, 0) == 0;
}

uint32_t AgeInSeconds(Vs5Platform::FileTime now, Vs5Platform::FileTime created) {
    // A creation time in the future (a clock set back) counts as brand new.
    if (created >= now)
        return 0;
    return static_cast<uint32_t>((now - created) / Vs5Platform::kFileTimeUnitsPerSecond);
}

}  // namespace

void CFileRemover::Spare(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        spared_.emplace_back(st.st_dev, st.st_ino);
}

bool CFileRemover::IsSpared(const struct stat& st) const {
    for (const auto& [dev, ino] : spared_)
        if (st.st_dev == dev && st.st_ino == ino)
            return true;
    return false;
}

bool CFileRemover::RemoveOldFiles(const std::string& folder, const std::string& pattern, int days,
                                  bool removeFolders, Vs5Platform::FileTime now) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir)
        return true;
    const uint64_t limit = static_cast<uint64_t>(days < 0 ? 0 : days) * 86400;
    bool result = true;
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (!Matches(pattern, name.c_str()))
            continue;
        std::string path = Vs5Platform::JoinPath(folder, name);
        // The entry itself is aged, not what a link points to: a link whose
        // target is gone would otherwise be kept for ever.
        auto created = Vs5Platform::CreationTime(path, false);
        if (!created || AgeInSeconds(now, *created) <= limit)
            continue;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0)
            continue;
        if (IsSpared(st))
            continue;
        if (S_ISDIR(st.st_mode)) {
            RemoveOldFiles(path, pattern, days, removeFolders, now);
            if (removeFolders)
                rmdir(path.c_str());
        } else if (unlink(path.c_str()) != 0) {
            result = false;
        }
    }
    return result;
}

}  // namespace Vs5Util
