#include "platform/logon.h"

#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace Vs5Platform {

namespace {

// Our own PAM service when the administrator has installed one, else the
// distribution's "login" stack (pam_unix against /etc/shadow on Debian).
const char* PamService() {
    return access("/etc/pam.d/vistrel5", F_OK) == 0 ? "vistrel5" : "login";
}

// Answers PAM's prompts: the password for a hidden prompt, the user name for
// a visible one, nothing for information and error messages.
struct Credentials {
    const char* user;
    const char* password;
};

int Converse(int count, const struct pam_message** messages, struct pam_response** responses,
             void* data) {
    if (count <= 0 || count > PAM_MAX_NUM_MSG)
        return PAM_CONV_ERR;
    auto* credentials = static_cast<const Credentials*>(data);
    auto* answers = static_cast<pam_response*>(calloc(count, sizeof(pam_response)));
    if (answers == nullptr)
        return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const char* text = nullptr;
        switch (messages[i]->msg_style) {
            case PAM_PROMPT_ECHO_OFF:
                text = credentials->password;
                break;
            case PAM_PROMPT_ECHO_ON:
                text = credentials->user;
                break;
            case PAM_ERROR_MSG:
            case PAM_TEXT_INFO:
                break;
            default:
                for (int j = 0; j < i; ++j)
                    free(answers[j].resp);
                free(answers);
                return PAM_CONV_ERR;
        }
        if (text != nullptr)
            answers[i].resp = strdup(text);
    }
    *responses = answers;
    return PAM_SUCCESS;
}

// Called by PAM instead of sleeping after a failed attempt. The credentials
// come from the service's own configuration, not from a client, so the delay
// would protect nothing and only stall every thread waiting for a logon.
void NoFailDelay(int, unsigned, void*) {}

// Runs the PAM authentication and account checks; on success `user` holds
// the account name the modules settled on.
int Authenticate(std::string& user, const std::string& password) {
    Credentials credentials{user.c_str(), password.c_str()};
    const pam_conv conversation{Converse, &credentials};
    pam_handle_t* handle = nullptr;
    int rc = pam_start(PamService(), user.c_str(), &conversation, &handle);
    if (rc != PAM_SUCCESS)
        return rc;
    pam_set_item(handle, PAM_FAIL_DELAY, reinterpret_cast<const void*>(&NoFailDelay));
    // An account without a password must not be usable with an empty one.
    rc = pam_authenticate(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (rc == PAM_SUCCESS)
        rc = pam_acct_mgmt(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    const void* mapped = nullptr;
    if (rc == PAM_SUCCESS && pam_get_item(handle, PAM_USER, &mapped) == PAM_SUCCESS && mapped)
        user = static_cast<const char*>(mapped);
    pam_end(handle, rc);
    return rc;
}

// The account's ids and its full group list (primary group included).
int ReadAccount(const std::string& user, LogonToken& token) {
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int rc;
    while ((rc = getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (rc != 0)
        return PAM_SYSTEM_ERR;
    if (found == nullptr)
        return PAM_USER_UNKNOWN;

    int count = 32;
    std::vector<gid_t> groups(count);
    while (getgrouplist(user.c_str(), entry.pw_gid, groups.data(), &count) < 0)
        groups.resize(std::max<size_t>(static_cast<size_t>(count), groups.size() * 2));
    groups.resize(count);
    token.uid = entry.pw_uid;
    token.gid = entry.pw_gid;
    token.groups = std::move(groups);
    return 0;
}

// Raw system calls: the glibc wrappers for setgroups (and the set*id family)
// broadcast the change to every thread of the process, while the kernel keeps
// credentials per thread. setfsuid and setfsgid return the previous id and
// never an error; an invalid id (-1) reads the current one without a change.
long CallSetFsuid(uid_t uid) {
    return syscall(SYS_setfsuid, uid);
}
long CallSetFsgid(gid_t gid) {
    return syscall(SYS_setfsgid, gid);
}
bool CallSetGroups(const std::vector<gid_t>& groups) {
    return syscall(SYS_setgroups, groups.size(), groups.data()) == 0;
}

// Switches the file-system id and confirms it: the second call returns the
// id the first one left in place.
bool SwitchFsuid(uid_t uid) {
    CallSetFsuid(uid);
    return static_cast<uid_t>(CallSetFsuid(uid)) == uid;
}
bool SwitchFsgid(gid_t gid) {
    CallSetFsgid(gid);
    return static_cast<gid_t>(CallSetFsgid(gid)) == gid;
}

std::vector<gid_t> ThreadGroups() {
    int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? count : 0);
    if (count > 0)
        groups.resize(std::max(0, getgroups(count, groups.data())));
    return groups;
}

bool SameGroups(std::vector<gid_t> a, std::vector<gid_t> b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

// The identity a thread had before its impersonation started; restored by
// RevertToSelf. Kept per thread because the identity itself is per thread.
struct SavedIdentity {
    bool active = false;
    uid_t fsuid = 0;
    gid_t fsgid = 0;
    std::vector<gid_t> groups;
};
thread_local SavedIdentity tSaved;

void Restore(const SavedIdentity& saved) {
    // The user id first: going back to root gives the thread its file
    // capabilities again before the groups are put back.
    CallSetFsuid(saved.fsuid);
    CallSetFsgid(saved.fsgid);
    if (!SameGroups(ThreadGroups(), saved.groups))
        CallSetGroups(saved.groups);
}

}  // namespace

int LogonUser(const std::string& user, const std::string& password, LogonToken& token) {
    std::string account = user;
    int rc = Authenticate(account, password);
    if (rc != PAM_SUCCESS)
        return rc;
    return ReadAccount(account, token);
}

bool ImpersonateLoggedOnUser(const LogonToken& token) {
    errno = 0;  // the fs-id calls fail without setting it
    if (!tSaved.active) {
        tSaved.fsuid = static_cast<uid_t>(CallSetFsuid(static_cast<uid_t>(-1)));
        tSaved.fsgid = static_cast<gid_t>(CallSetFsgid(static_cast<gid_t>(-1)));
        tSaved.groups = ThreadGroups();
    }
    // Groups, then group, then user: once the user id is no longer root the
    // thread has lost the right to change the other two. Setting the groups
    // needs CAP_SETGID even when they do not change, so an unchanged list is
    // left alone (an account impersonating itself needs no privilege).
    bool ok = SameGroups(ThreadGroups(), token.groups) || CallSetGroups(token.groups);
    ok = ok && SwitchFsgid(token.gid) && SwitchFsuid(token.uid);
    if (!ok) {
        int error = errno != 0 ? errno : EPERM;
        Restore(tSaved);
        tSaved.active = false;
        errno = error;
        return false;
    }
    tSaved.active = true;
    return true;
}

void RevertToSelf() {
    if (!tSaved.active)
        return;
    Restore(tSaved);
    tSaved.active = false;
}

OwnIdentityScope::OwnIdentityScope() : impersonating_(tSaved.active) {
    if (!impersonating_)
        return;
    saved_.uid = static_cast<uid_t>(CallSetFsuid(static_cast<uid_t>(-1)));
    saved_.gid = static_cast<gid_t>(CallSetFsgid(static_cast<gid_t>(-1)));
    saved_.groups = ThreadGroups();
    RevertToSelf();
}

OwnIdentityScope::~OwnIdentityScope() {
    if (impersonating_)
        ImpersonateLoggedOnUser(saved_);
}

}  // namespace Vs5Platform
