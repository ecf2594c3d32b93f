#include "photocmd/fill_template.h"

#include "photocmd/param_readers.h"
#include "platform/text.h"

namespace Vs4Command {

namespace {

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Length of the placeholder that starts at text[i], or 0 when none does.
size_t PlaceholderAt(std::string_view text, size_t i) {
    if (text.compare(i, 2, "<%") != 0)
        return 0;
    size_t j = i + 2;
    while (j < text.size() && IsWordChar(text[j]))
        ++j;
    if (j == i + 2 || text.compare(j, 2, "%>") != 0)
        return 0;
    return j + 2 - i;
}

}  // namespace

std::string FillPlaceholders(std::string_view text, const ParamMap& request) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t len = PlaceholderAt(text, i);
        if (len == 0) {
            out += text[i++];
            continue;
        }
        std::string name = Vs5Platform::AsciiLower(text.substr(i + 2, len - 4));
        out += GetString(request, name);
        i += len;
    }
    return out;
}

bool FillTemplate(const CommandFile& file, int index, const ParamMap& request, ParamMap& out) {
    if (index < 0 || index >= file.count())
        return false;
    for (const auto& [key, value] : file.commands[static_cast<size_t>(index)])
        out.Insert(key, FillPlaceholders(value, request));
    return true;
}

}  // namespace Vs4Command
