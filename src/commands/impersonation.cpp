#include "commands/impersonation.h"

#include <cerrno>

#include "config/configuration.h"

namespace Vs4Command {

namespace {

std::mutex gInstanceLock;  // guards gInstance
std::unique_ptr<LogonTokenCache> gInstance;

}  // namespace

LogonTokenCache& LogonTokenCache::Instance() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    if (!gInstance)
        gInstance = std::make_unique<LogonTokenCache>();
    return *gInstance;
}

void LogonTokenCache::DestroyInstance() {
    std::unique_ptr<LogonTokenCache> doomed;
    {
        std::lock_guard<std::mutex> guard(gInstanceLock);
        doomed = std::move(gInstance);
    }
}

const Vs5Platform::LogonToken* LogonTokenCache::GetLogonToken(Configuration& config,
                                                              const std::string& user,
                                                              const std::string& password) {
    std::string key = user + ":" + password;
    std::lock_guard<std::mutex> guard(lock_);
    auto it = tokens_.find(key);
    if (it != tokens_.end())
        return it->second.get();
    auto token = std::make_unique<Vs5Platform::LogonToken>();
    int rc = Vs5Platform::LogonUser(user, password, *token);
    if (rc != 0) {
        config.requestLog().WriteLine("# LogonUser error: %d\r\n", rc);
        return nullptr;
    }
    return tokens_.emplace(std::move(key), std::move(token)).first->second.get();
}

size_t LogonTokenCache::size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return tokens_.size();
}

bool CImpersonation::Impersonate(Configuration& config, const std::string& path, std::string* user,
                                 std::string* password) {
    // A scope impersonates one account at a time; a second call starts over.
    Revert();
    std::string u, p;
    bool found = config.FindImpersonation(path, u, p);
    if (user)
        *user = u;
    if (password)
        *password = p;
    if (!found)
        return false;
    const Vs5Platform::LogonToken* token = LogonTokenCache::Instance().GetLogonToken(config, u, p);
    if (token == nullptr)
        return false;
    if (!Vs5Platform::ImpersonateLoggedOnUser(*token)) {
        config.requestLog().WriteLine("# CImpersonation error: %d\r\n", errno);
        return false;
    }
    impersonating_ = 1;
    return true;
}

void CImpersonation::Revert() {
    if (impersonating_ != 0)
        Vs5Platform::RevertToSelf();
    impersonating_ = 0;
}

}  // namespace Vs4Command
