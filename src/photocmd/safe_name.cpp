#include "photocmd/safe_name.h"

namespace Vs4Command {

bool IsPlainFileName(std::string_view name) {
    return name.find('/') == std::string_view::npos && name.find("..") == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool StaysInsideFolder(std::string_view relativePath) {
    if (relativePath.find('\0') != std::string_view::npos)
        return false;
    size_t start = 0;
    while (start <= relativePath.size()) {
        size_t end = relativePath.find('/', start);
        if (end == std::string_view::npos)
            end = relativePath.size();
        if (relativePath.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace Vs4Command
