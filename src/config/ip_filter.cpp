#include "config/ip_filter.h"

#include <arpa/inet.h>

#include <string>

#include "platform/text.h"

namespace {

uint32_t MaskFor(uint32_t address) {
    // Octet by octet in memory order, which is network order for both values.
    uint32_t mask = 0;
    auto* a = reinterpret_cast<const unsigned char*>(&address);
    auto* m = reinterpret_cast<unsigned char*>(&mask);
    for (int i = 0; i < 4; ++i)
        m[i] = a[i] != 0 ? 0xFF : 0x00;
    return mask;
}

// The four octets in network byte order, or INADDR_NONE.
in_addr_t ParseDottedQuad(std::string_view text) {
    std::string trimmed(Vs5Platform::TrimBlanks(text));
    in_addr address{};
    // inet_pton takes exactly four decimal parts of 0 to 255, without the
    // octal, hexadecimal and short forms.
    if (inet_pton(AF_INET, trimmed.c_str(), &address) != 1)
        return INADDR_NONE;
    return address.s_addr;
}

}  // namespace

bool CIpFilter::IsDottedQuad(std::string_view text) {
    std::string trimmed(Vs5Platform::TrimBlanks(text));
    in_addr address{};
    return inet_pton(AF_INET, trimmed.c_str(), &address) == 1;
}

void CIpFilter::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    count_ = 0;
}

bool CIpFilter::AddAddress(std::string_view text) {
    std::lock_guard<std::mutex> guard(lock_);
    return AddLocked(text);
}

int CIpFilter::Assign(const std::vector<std::string>& patterns) {
    std::lock_guard<std::mutex> guard(lock_);
    count_ = 0;
    for (const std::string& pattern : patterns)
        AddLocked(pattern);
    return count_;
}

bool CIpFilter::AddLocked(std::string_view text) {
    in_addr_t address = ParseDottedQuad(text);
    if (address == INADDR_NONE || count_ >= kMaxEntries)
        return false;
    kinds_[count_] = 1;
    addresses_[count_] = address;
    masks_[count_] = MaskFor(address);
    ++count_;
    return true;
}

bool CIpFilter::IsAllowed(std::string_view clientAddress) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (count_ == 0)
        return false;
    uint32_t client = inet_addr(std::string(clientAddress).c_str());
    for (int i = 0; i < count_; ++i)
        if ((masks_[i] & client) == (addresses_[i] & masks_[i]))
            return true;
    return false;
}

int CIpFilter::count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return count_;
}
