// A throw-away local account for the impersonation tests.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <string>

#include "support/shell.h"

namespace {

// A throw-away local account with a password, created when the test runs as
// root (the only way the switch can be exercised) and removed at the end.
class TestAccount {
public:
    TestAccount() {
        if (geteuid() != 0)
            return;
        created_ = vstest::Shell("useradd -m -s /usr/sbin/nologin " + name) &&
                   vstest::Shell("echo '" + name + ":" + password + "' | chpasswd");
        if (passwd* entry = created_ ? getpwnam(name.c_str()) : nullptr) {
            uid = entry->pw_uid;
            gid = entry->pw_gid;
        }
    }
    ~TestAccount() {
        if (created_)
            vstest::Shell("userdel -r " + name);
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
