#include "host/service_install.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/module.h"

const char kServiceName[] = "zelkor_vistrel5";
const char kServiceDisplayName[] = "Zelkor Vistrel 5 Service";
const char kServiceDescription[] =
    "The Vistrel is a server-based image processing endgine that provide lots of functionality "
    "for imaging  in conjunction with the IIS.";

const char kServiceAccount[] = "vistrel";

std::string QuoteForUnit(const std::string& value) {
    // Inside double quotes a backslash and a quote are escaped; "%" starts a
    // specifier and "$" a variable in a unit file, so both are doubled.
    std::string out = "\"";
    for (char c : value) {
        if (c == '\\' || c == '"')
            out += '\\';
        else if (c == '%' || c == '$')
            out += c;
        out += c;
    }
    return out + "\"";
}

namespace {

// What the service may do, beside running as its own account: switch to the
// configured accounts (CAP_SETUID, CAP_SETGID) after checking their passwords
// (the shadow group reads the password database), and write in its module
// folder. NoNewPrivileges does not get in the way: the switch is done with the
// capabilities the service starts with, not by running a set-user-ID program.
const char kHardening[] =
    "NoNewPrivileges=yes\n"
    "LimitNOFILE=65536\n"
    "ProtectSystem=strict\n"
    "ProtectHome=read-only\n"
    "PrivateTmp=yes\n"
    "PrivateDevices=yes\n"
    "ProtectClock=yes\n"
    "ProtectHostname=yes\n"
    "ProtectKernelTunables=yes\n"
    "ProtectKernelModules=yes\n"
    "ProtectKernelLogs=yes\n"
    "ProtectControlGroups=yes\n"
    "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n"
    "RestrictNamespaces=yes\n"
    "RestrictRealtime=yes\n"
    "RestrictSUIDSGID=yes\n"
    "LockPersonality=yes\n"
    "SystemCallArchitectures=native\n"
    "SystemCallFilter=@system-service\n"
    "SystemCallErrorNumber=EPERM\n";

}  // namespace

std::string ServiceUnitText(const std::string& description, const std::string& executablePath) {
    size_t slash = executablePath.rfind('/');
    std::string folder = slash == 0 || slash == std::string::npos ? std::string("/")
                                                                  : executablePath.substr(0, slash);
    // Restarted 3 s after a failure; the start limit window matches the
    // 100-second reset period of the failure counter.
    return "[Unit]\n"
           "Description=" +
           description +
           "\n"
           "StartLimitIntervalSec=100\n"
           "\n"
           "[Service]\n"
           "Type=notify\n"
           "ExecStart=" +
           QuoteForUnit(executablePath) +
           "\n"
           "Restart=on-failure\n"
           "RestartSec=3\n"
           "User=" +
           kServiceAccount + "\nGroup=" + kServiceAccount +
           "\n"
           "SupplementaryGroups=shadow\n"
           "AmbientCapabilities=CAP_SETUID CAP_SETGID\n"
           "CapabilityBoundingSet=CAP_SETUID CAP_SETGID\n" +
           kHardening + "ReadWritePaths=" + QuoteForUnit(folder) +
           "\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

bool EnsureServiceAccount(bool silent, const ServiceManager& manager) {
    if (RunProgram(manager.getent, {"passwd", kServiceAccount}) == 0)
        return true;
    int rc =
        RunProgram(manager.useradd, {"--system", "--user-group", "--no-create-home", "--home-dir",
                                     "/nonexistent", "--shell", "/usr/sbin/nologin", "--comment",
                                     kServiceDisplayName, kServiceAccount});
    if (rc != 0) {
        ShowMessage(silent, "Cannot create the service account %s - useradd exited with %d\n",
                    kServiceAccount, rc);
        return false;
    }
    ShowMessage(silent, "Service account %s created.\n", kServiceAccount);
    return true;
}

void ShowMessage(bool silent, const char* format, ...) {
    if (silent)
        return;
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    fputs(buffer, stderr);
}

std::string FormatLastError() {
    int err = errno;
    char buffer[256];
    snprintf(buffer, sizeof(buffer), "%s (%d)", strerror(err), err);
    return buffer;
}

void InstallService(const std::string& serviceName, const std::string& description, bool silent,
                    const ServiceManager& manager) {
    std::string exe = Vs5Platform::ExecutablePath();
    if (exe.empty())
        return;
    if (!manager.Reachable()) {
        ShowMessage(silent, "OpenSCManager failed - %s\n", FormatLastError().c_str());
        return;
    }
    std::string unitPath = manager.UnitPath(serviceName);
    if (access(unitPath.c_str(), F_OK) != 0 && !EnsureServiceAccount(silent, manager))
        return;
    int fd = open(unitPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    std::string text = ServiceUnitText(description, exe);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        std::string error = FormatLastError();
        if (fd >= 0) {
            close(fd);
            unlink(unitPath.c_str());
        }
        ShowMessage(silent, "CreateService failed - %s\n", error.c_str());
        return;
    }
    close(fd);
    ShowMessage(silent, "%s installed.\n", kServiceDisplayName);
    manager.Run({"daemon-reload"});
    manager.Run({"enable", serviceName});
}

void RemoveService(const std::string& serviceName, bool silent, const ServiceManager& manager) {
    if (!manager.Reachable()) {
        ShowMessage(silent, "OpenSCManager failed - %s\n", FormatLastError().c_str());
        return;
    }
    std::string unitPath = manager.UnitPath(serviceName);
    if (access(unitPath.c_str(), F_OK) != 0) {
        ShowMessage(silent, "OpenService failed - %s\n", FormatLastError().c_str());
        return;
    }
    std::string state;
    manager.Run({"is-active", serviceName}, &state);
    if (state == "active" || state == "activating" || state == "reloading") {
        manager.Run({"stop", "--no-block", serviceName});
        std::this_thread::sleep_for(std::chrono::seconds(1));
        while (manager.Run({"is-active", serviceName}, &state) >= 0 && state == "deactivating")
            std::this_thread::sleep_for(std::chrono::seconds(1));
        if (state == "inactive" || state == "failed")
            ShowMessage(silent, "\n%s stopped.\n", kServiceDisplayName);
        else
            ShowMessage(silent, "\n%s failed to stop.\n", kServiceDisplayName);
    }
    manager.Run({"disable", serviceName});
    if (unlink(unitPath.c_str()) != 0) {
        ShowMessage(silent, "DeleteService failed - %s\n", FormatLastError().c_str());
    } else {
        ShowMessage(silent, "%s removed.\n", kServiceDisplayName);
        manager.Run({"daemon-reload"});
    }
}
