// The IPv4 allow-list. Each pattern is a dotted address whose zero octets are
// wildcards: 192.168.0.0 admits 192.168.x.y and 0.0.0.0 admits everybody. An
// empty list admits nobody.
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
    // Adds a pattern in any form inet_addr accepts (127.1 is 127.0.0.1).
    // False when it is not an address, is 255.255.255.255, or the list is full.
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
