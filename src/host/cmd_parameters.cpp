#include "host/cmd_parameters.h"

#include "platform/text.h"

bool CCmdParameters::Parse(const std::vector<std::string>& tokens) {
    int awaiting = -1;  // the switch whose value may come next
    for (const std::string& token : tokens) {
        if (!token.empty() && token[0] == '-') {
            if (Has(token) || count_ == kMaxSwitches)
                return false;
            names_[count_] = token;
            values_[count_].reset();
            awaiting = count_++;
        } else {
            if (awaiting < 0)
                return false;
            values_[awaiting] = token;
            awaiting = -1;
        }
    }
    return true;
}

bool CCmdParameters::ParseLine(std::string_view line) {
    std::vector<std::string> tokens;
    Vs5Platform::ForEachToken(line, " \t", [&](std::string_view token) {
        tokens.emplace_back(token);
        return true;
    });
    return Parse(tokens);
}

bool CCmdParameters::Has(std::string_view name) const {
    for (int i = 0; i < count_; ++i)
        if (names_[i] == name)
            return true;
    return false;
}

std::optional<std::string> CCmdParameters::Value(std::string_view name) const {
    for (int i = 0; i < count_; ++i)
        if (names_[i] == name)
            return values_[i];
    return std::nullopt;
}
