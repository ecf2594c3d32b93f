// Placeholder until impersonation lands: no account is ever switched to.
#include "commands/impersonation.h"

#include "config/configuration.h"

namespace Vs4Command {

LogonTokenCache& LogonTokenCache::Instance() {
    static LogonTokenCache cache;
    return cache;
}
void LogonTokenCache::DestroyInstance() {}
const Vs5Platform::LogonToken* LogonTokenCache::GetLogonToken(Configuration&, const std::string&,
                                                              const std::string&) {
    return nullptr;
}
size_t LogonTokenCache::size() const {
    return 0;
}

bool CImpersonation::Impersonate(Configuration& config, const std::string& path, std::string* user,
                                 std::string* password) {
    std::string u, p;
    config.FindImpersonation(path, u, p);
    if (user)
        *user = u;
    if (password)
        *password = p;
    return false;
}
void CImpersonation::Revert() {
    impersonating_ = 0;
}

}  // namespace Vs4Command
