#pragma once

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/file_time.h"

namespace Vs5Util {

// Deletes files by age, where the age is counted from the creation time.
class CFileRemover {
public:
    virtual ~CFileRemover() = default;

    // Deletes the entries of `folder` matching `pattern` ("*.*" matches every
    // name) that are older than `days` days. Old sub-folders are entered with
    // the same rules and, with `removeFolders`, removed once emptied. True when
    // every file deletion attempted in this folder succeeded. `now` is the
    // current time; tests pass a later one instead of ageing files.
    bool RemoveOldFiles(const std::string& folder, const std::string& pattern, int days,
                        bool removeFolders, Vs5Platform::FileTime now = Vs5Platform::FileTimeNow());

    // Keeps the file at `path` whatever its age: a file held open for writing
    // (today's log), which a deletion would cut off from its writer so that
    // every later line went into a file nobody can open.
    void Spare(const std::string& path);

private:
    bool IsSpared(const struct stat& st) const;

    std::vector<std::pair<dev_t, ino_t>> spared_;
};

}  // namespace Vs5Util
