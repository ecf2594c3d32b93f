#include "photocmd/param_map.h"

#include "platform/text.h"

namespace Vs4Command {

namespace {

// Lead bytes of the characters from U+E000 up: the only ones whose UTF-16
// order differs from their byte order.
bool NeedsUtf16Compare(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0xEE)
            return true;
    return false;
}

}  // namespace

bool Utf16Order::operator()(std::string_view a, std::string_view b) const {
    if (!NeedsUtf16Compare(a) && !NeedsUtf16Compare(b))
        return a < b;
    return Vs5Platform::Utf8ToUtf16(a) < Vs5Platform::Utf8ToUtf16(b);
}

bool ParamMap::Insert(std::string key, std::string value) {
    return pairs_.emplace(std::move(key), std::move(value)).second;
}

const std::string* ParamMap::Find(std::string_view key) const {
    auto it = pairs_.find(key);
    return it == pairs_.end() ? nullptr : &it->second;
}

namespace {

// Reads one pair token into the map (see ParseParams).
void ParsePairToken(std::string_view token, ParamMap& map) {
    size_t keyStart = token.find_first_not_of('=');
    if (keyStart == std::string_view::npos)
        return;
    size_t keyEnd = token.find('=', keyStart);
    if (keyEnd == std::string_view::npos)
        return;
    size_t valueStart = token.find_first_not_of('=', keyEnd);
    if (valueStart == std::string_view::npos)
        return;
    size_t valueEnd = token.find('=', valueStart);
    if (valueEnd == std::string_view::npos)
        valueEnd = token.size();
    map.Insert(Vs5Platform::AsciiLower(token.substr(keyStart, keyEnd - keyStart)),
               std::string(token.substr(valueStart, valueEnd - valueStart)));
}

}  // namespace

ParamMap ParseParams(std::string_view text) {
    ParamMap map;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == '&')
            ++i;
        if (i >= text.size())
            break;
        size_t end = text.find('&', i);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view token = text.substr(i, end - i);
        if (Vs5Platform::Utf16Length(token) >= kMaxPairTokenUnits)
            break;
        ParsePairToken(token, map);
        i = end;
    }
    return map;
}

}  // namespace Vs4Command
