// The parsed command line: up to 64 switches ("-name"), each with an optional
// value (the token that follows it).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CCmdParameters {
public:
    static constexpr int kMaxSwitches = 64;

    virtual ~CCmdParameters() = default;

    // Parses tokens. Fails on a repeated switch, on a value that follows no
    // switch (or a second value in a row) and on a 65th switch.
    bool Parse(const std::vector<std::string>& tokens);
    // Splits a command line at blanks and tabs ("quoted tokens" keep theirs)
    // and parses the tokens.
    bool ParseLine(std::string_view line);

    bool Has(std::string_view name) const;
    // The value of a switch; nullopt when it is absent or has no value.
    std::optional<std::string> Value(std::string_view name) const;
    int count() const { return count_; }

private:
    std::array<std::string, kMaxSwitches> names_;
    std::array<std::optional<std::string>, kMaxSwitches> values_;
    int count_ = 0;
};
