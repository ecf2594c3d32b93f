// Accounts: checking a user's password with PAM and taking that user's
// file-system identity on the calling thread. The identity is per thread
// (setfsuid, setfsgid and setgroups act on the calling thread only), so an
// I/O thread can read one client's protected file while the others go on as
// the service account.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace Vs5Platform {

// What a successful logon gives: the account's ids and groups.
struct LogonToken {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// Authenticates `user` with `password` through PAM (service "vistrel5", or
// "login" when that service is not configured) and reads the account's ids.
// Returns 0 and fills `token` on success, else the PAM result code
// (PAM_USER_UNKNOWN too when the account has no passwd entry). Empty
// passwords never authenticate. Not thread-safe: callers serialise logons.
int LogonUser(const std::string& user, const std::string& password, LogonToken& token);

// Takes the token's file-system identity (fsuid, fsgid, groups) on the
// calling thread. False with errno set when the thread may not (the process
// lacks CAP_SETUID / CAP_SETGID); the thread is then itself again.
bool ImpersonateLoggedOnUser(const LogonToken& token);

// Gives the calling thread its own identity for the life of the scope, and
// the identity it had (impersonated or not) back at its end. A process
// started by an impersonating thread would otherwise keep the account's
// groups for its whole life.
class OwnIdentityScope {
public:
    OwnIdentityScope();
    ~OwnIdentityScope();
    OwnIdentityScope(const OwnIdentityScope&) = delete;
    OwnIdentityScope& operator=(const OwnIdentityScope&) = delete;

private:
    bool impersonating_ = false;
    LogonToken saved_;
};

// Gives the calling thread the identity it had before its first
// impersonation back. Does nothing when the thread does not impersonate.
void RevertToSelf();

}  // namespace Vs5Platform
