// Counting lines and phrases in log text.
#pragma once

#include <cstddef>
#include <string>

namespace vstest {

// How often `part` occurs in `text`, overlapping occurrences included.
inline size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace vstest
