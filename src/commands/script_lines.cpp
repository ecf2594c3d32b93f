#include "commands/script_lines.h"

#include "platform/text.h"

namespace Vs4Command {

std::vector<std::string> ScriptLines(std::string_view script) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string_view::npos)
            end = script.size();
        std::string line(script.substr(start, end - start));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string ScriptLogText(std::string_view script, size_t maxUnits) {
    const size_t lf = script.find('\n');
    std::string text(script.substr(0, lf));
    if (lf != std::string_view::npos && lf != 0)
        text += "...";
    return maxUnits > 0 ? Vs5Platform::TruncateUtf16(text, maxUnits) : text;
}

}  // namespace Vs4Command
