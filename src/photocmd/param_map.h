// A parsed photo command: key=value pairs joined by "&", keys lower-cased,
// the first occurrence of a key kept. Text is UTF-8; the token limit and the
// key order are those of the UTF-16 wire text.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace Vs4Command {

// Orders UTF-8 strings as their UTF-16 code units would be ordered. Byte
// order already matches code-point order; the two differ only where a
// character of U+E000..U+FFFF meets one above U+FFFF (a surrogate pair sorts
// first in UTF-16), so only strings holding such characters are converted.
struct Utf16Order {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

class ParamMap {
public:
    using Pairs = std::map<std::string, std::string, Utf16Order>;

    // Adds the pair unless the key is present; returns false when the pair is
    // discarded. Keys are stored as given (the parser lower-cases them).
    bool Insert(std::string key, std::string value);
    // The value of the key, or nullptr. Keys are matched exactly.
    const std::string* Find(std::string_view key) const;
    bool Has(std::string_view key) const { return Find(key) != nullptr; }

    size_t size() const { return pairs_.size(); }
    bool empty() const { return pairs_.empty(); }
    void Clear() { pairs_.clear(); }
    Pairs::const_iterator begin() const { return pairs_.begin(); }
    Pairs::const_iterator end() const { return pairs_.end(); }

private:
    Pairs pairs_;
};

// A pair token of this many UTF-16 code units or more ends the parse.
constexpr size_t kMaxPairTokenUnits = 2048;

// Splits the command text into pairs. Runs of "&" separate tokens; in a token
// the first run without "=" is the key and the next such run the value
// ("a=b=c" gives a=b, "a==b" gives a=b); a token without a value is dropped.
// A token of kMaxPairTokenUnits or more units ends the parse, keeping the
// pairs before it. Keys are lower-cased (A-Z only); values are kept as
// written. Nothing is trimmed or decoded.
ParamMap ParseParams(std::string_view text);

}  // namespace Vs4Command
