// Impersonation of the accounts that the configuration assigns to source
// paths. Logon tokens are cached by "user:password" for the life of the
// service; failed logons are not cached, so a wrong password is logged on
// every request that uses it. A CImpersonation scope gives the thread its
// own identity back however the command leaves.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/logon.h"

class Configuration;

namespace Vs4Command {

class LogonTokenCache {
public:
    LogonTokenCache() = default;
    LogonTokenCache(const LogonTokenCache&) = delete;
    LogonTokenCache& operator=(const LogonTokenCache&) = delete;

    static LogonTokenCache& Instance();
    static void DestroyInstance();

    // The cached token of the account, logging on when it is not cached.
    // nullptr after a failed logon, which writes "# LogonUser error: %d\r\n"
    // (the PAM result code) to the request log of `config`. A token stays
    // valid until the cache is destroyed.
    const Vs5Platform::LogonToken* GetLogonToken(Configuration& config, const std::string& user,
                                                 const std::string& password);
    size_t size() const;

private:
    mutable std::mutex lock_;  // guards tokens_; held during a logon
    std::map<std::string, std::unique_ptr<Vs5Platform::LogonToken>> tokens_;
};

// Impersonates the account configured for a path on the calling thread, and
// reverts when asked or when the scope ends.
class CImpersonation {
public:
    CImpersonation() = default;
    ~CImpersonation() { Revert(); }
    CImpersonation(const CImpersonation&) = delete;
    CImpersonation& operator=(const CImpersonation&) = delete;

    // Looks `path` up in the impersonation table; on a match logs on (through
    // the process-wide token cache) and takes the account's identity. A
    // failed switch writes "# CImpersonation error: %d\r\n" and the thread
    // goes on as itself. True when the thread now impersonates. `user` and
    // `password`, when given, receive the matching entry (empty without one).
    bool Impersonate(Configuration& config, const std::string& path, std::string* user = nullptr,
                     std::string* password = nullptr);
    void Revert();
    bool active() const { return impersonating_ != 0; }

private:
    uint32_t impersonating_ = 0;
};

}  // namespace Vs4Command
