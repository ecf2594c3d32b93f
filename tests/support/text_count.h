// Log text: a folder's logs read in date order, and phrases counted in them.
#pragma once

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>

#include "support/temp_dir.h"

namespace vstest {

// How often `part` occurs in `text`, overlapping occurrences included.
inline size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The request logs in `folder`, or with `system` the System_ logs, joined in
// date order (the dated names sort so).
inline std::string JoinedLogs(const std::string& folder, bool system) {
    std::set<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().filename().string().starts_with("System_") == system)
            files.insert(e.path());
    std::string text;
    for (const std::filesystem::path& f : files)
        text += ReadFile(f.string());
    return text;
}

}  // namespace vstest
