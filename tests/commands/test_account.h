// A throw-away local account for the impersonation tests.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

inline bool RunQuietly(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// A throw-away local account with a password, created when the test runs as
// root (the only way the switch can be exercised) and removed at the end.
class TestAccount {
public:
    TestAccount() {
        if (geteuid() != 0)
            return;
        created_ = RunQuietly("useradd -m -s /usr/sbin/nologin " + name + " >/dev/null 2>&1") &&
                   RunQuietly("echo '" + name + ":" + password + "' | chpasswd");
        if (passwd* entry = created_ ? getpwnam(name.c_str()) : nullptr) {
            uid = entry->pw_uid;
            gid = entry->pw_gid;
        }
    }
    ~TestAccount() {
        if (created_)
            RunQuietly("userdel -r " + name + " >/dev/null 2>&1");
    }
    bool created() const { return created_; }

    const std::string name = "vs5imp" + std::to_string(getpid());
    const std::string password = "Vs5-" + std::to_string(getpid()) + "-secret";
    uid_t uid = 0;
    gid_t gid = 0;

private:
    bool created_ = false;
};

}  // namespace
