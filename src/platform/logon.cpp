// Placeholder until impersonation lands.
#include "platform/logon.h"

#include <cerrno>

namespace Vs5Platform {

int LogonUser(const std::string&, const std::string&, LogonToken&) {
    return 7;  // PAM_AUTH_ERR
}
bool ImpersonateLoggedOnUser(const LogonToken&) {
    errno = EPERM;
    return false;
}
void RevertToSelf() {}

}  // namespace Vs5Platform
