#include "commands/script_lines.h"

namespace Vs4Command {

std::vector<std::string> ScriptLines(const std::string& script) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string::npos)
            end = script.size();
        std::string line = script.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

}  // namespace Vs4Command
