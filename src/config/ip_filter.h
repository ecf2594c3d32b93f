// The IPv4 allow-list. Each pattern is a dotted address whose zero octets are
// wildcards: 192.168.0.0 admits 192.168.x.y and 0.0.0.0 admits everybody. An
// empty list admits nobody. Only the full four-part decimal form is taken:
// the short forms inet_addr reads ("1" is 0.0.0.1, "0" is 0.0.0.0) would turn
// a typing slip into a pattern that admits far more than was meant.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CIpFilter {
public:
    static constexpr int kMaxEntries = 64;

    virtual ~CIpFilter() = default;

    void Clear();
    // True when `text` (blanks around it aside) is four decimal octets.
    static bool IsDottedQuad(std::string_view text);
    // Adds a dotted-quad pattern. False when it is not one, is
    // 255.255.255.255, or the list is full.
    bool AddAddress(std::string_view text);
    // Replaces the whole list in one step: a check running at the same time
    // sees either the old list or the new one, never a partly built one.
    // Patterns that are not addresses are dropped. Returns the number kept.
    int Assign(const std::vector<std::string>& patterns);
    bool IsAllowed(std::string_view clientAddress) const;
    int count() const;

private:
    bool AddLocked(std::string_view text);  // lock_ held

    mutable std::mutex lock_;  // guards kinds_, addresses_, masks_, count_
    uint32_t kinds_[kMaxEntries] = {};
    uint32_t addresses_[kMaxEntries] = {};  // network byte order
    uint32_t masks_[kMaxEntries] = {};      // network byte order
    int count_ = 0;
};
