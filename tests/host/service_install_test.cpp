#include "host/service_install.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/module.h"
#include "support/temp_dir.h"

using vstest::ReadFile;
using vstest::WriteFile;

namespace {

// A stand-in for systemctl that records its arguments and answers is-active
// from a file, so that everything up to the real service manager is exercised.
struct FakeSystemd {
    vstest::TempDir dir;
    ServiceManager manager;
    FakeSystemd() {
        mkdir((dir / "units").c_str(), 0755);
        mkdir((dir / "run").c_str(), 0755);
        WriteFile(dir / "states", "inactive\n");
        // getent finds the accounts listed in "accounts"; useradd records
        // its arguments and exits with the number in "useradd-exit".
        WriteFile(dir / "accounts", "");
        WriteFile(dir / "useradd-exit", "0");
        WriteFile(dir / "getent", "#!/bin/sh\ngrep -qx \"$2\" " + (dir / "accounts") + "\n");
        WriteFile(dir / "useradd", "#!/bin/sh\necho \"$@\" >> " + (dir / "useradd-calls") +
                                       "\nexit $(cat " + (dir / "useradd-exit") + ")\n");
        chmod((dir / "getent").c_str(), 0755);
        chmod((dir / "useradd").c_str(), 0755);
        manager.getent = dir / "getent";
        manager.useradd = dir / "useradd";
        // is-active answers the first line of "states" and drops it while more follow.
        WriteFile(dir / "systemctl", "#!/bin/sh\necho \"$@\" >> " + (dir / "calls") +
                                         "\nif [ \"$1\" = is-active ]; then head -n1 " +
                                         (dir / "states") + "; if [ $(wc -l < " + (dir / "states") +
                                         ") -gt 1 ]; then sed -i 1d " + (dir / "states") +
                                         "; fi; fi\n");
        chmod((dir / "systemctl").c_str(), 0755);
        manager.unitFolder = dir / "units";
        manager.runtimeFolder = dir / "run";
        manager.systemctl = dir / "systemctl";
    }
    std::string calls() { return ReadFile(dir / "calls"); }
};

std::string CaptureStderr(const std::function<void()>& fn) {
    testing::internal::CaptureStderr();
    fn();
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(ServiceInstall, UnitTextRunsAHardenedServiceUnderItsOwnAccount) {
    std::string text = ServiceUnitText("desc", "/opt/my vistrel/100%$\"x/vistrel5");
    EXPECT_EQ(text,
              "[Unit]\nDescription=desc\nStartLimitIntervalSec=100\n\n"
              "[Service]\nType=notify\n"
              "ExecStart=\"/opt/my vistrel/100%%$$\\\"x/vistrel5\"\n"
              "Restart=on-failure\nRestartSec=3\n"
              "User=vistrel\nGroup=vistrel\nSupplementaryGroups=shadow\n"
              "AmbientCapabilities=CAP_SETUID CAP_SETGID\n"
              "CapabilityBoundingSet=CAP_SETUID CAP_SETGID\n"
              "NoNewPrivileges=yes\nLimitNOFILE=65536\n"
              "ProtectSystem=strict\nProtectHome=read-only\nPrivateTmp=yes\n"
              "PrivateDevices=yes\nProtectClock=yes\nProtectHostname=yes\n"
              "ProtectKernelTunables=yes\nProtectKernelModules=yes\nProtectKernelLogs=yes\n"
              "ProtectControlGroups=yes\n"
              "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n"
              "RestrictNamespaces=yes\nRestrictRealtime=yes\nRestrictSUIDSGID=yes\n"
              "LockPersonality=yes\nSystemCallArchitectures=native\n"
              "SystemCallFilter=@system-service\nSystemCallErrorNumber=EPERM\n"
              "ReadWritePaths=\"/opt/my vistrel/100%%$$\\\"x\"\n\n"
              "[Install]\nWantedBy=multi-user.target\n");
}

TEST(ServiceInstall, TheServiceAccountIsCreatedWhenMissing) {
    FakeSystemd systemd;
    const std::string useradd =
        "--system --user-group --no-create-home --home-dir /nonexistent --shell "
        "/usr/sbin/nologin --comment Zelkor Vistrel 5 Service vistrel\n";
    struct Case {
        std::string accounts, exitCode, printed, useraddCalls;
        bool unitWritten;
    } cases[] = {
        {"", "0", "Service account vistrel created.\nZelkor Vistrel 5 Service installed.\n",
         useradd, true},
        {"vistrel\n", "0", "Zelkor Vistrel 5 Service installed.\n", "", true},
        {"", "9", "Cannot create the service account vistrel - useradd exited with 9\n", useradd,
         false},
    };
    for (const Case& c : cases) {
        WriteFile(systemd.dir / "accounts", c.accounts);
        WriteFile(systemd.dir / "useradd-exit", c.exitCode);
        std::remove((systemd.dir / "useradd-calls").c_str());
        std::remove(systemd.manager.UnitPath(kServiceName).c_str());
        std::string out =
            CaptureStderr([&] { InstallService(kServiceName, "desc", false, systemd.manager); });
        EXPECT_EQ(out, c.printed) << c.accounts;
        EXPECT_EQ(vstest::Exists(systemd.dir / "useradd-calls")
                      ? ReadFile(systemd.dir / "useradd-calls")
                      : "",
                  c.useraddCalls);
        EXPECT_EQ(vstest::Exists(systemd.manager.UnitPath(kServiceName)), c.unitWritten);
    }
}

TEST(ServiceInstall, InstallWritesTheUnitOnceAndEnablesIt) {
    FakeSystemd systemd;
    std::string out =
        CaptureStderr([&] { InstallService(kServiceName, "desc", false, systemd.manager); });
    EXPECT_EQ(out, "Service account vistrel created.\nZelkor Vistrel 5 Service installed.\n");
    std::string unit = ReadFile(systemd.manager.UnitPath(kServiceName));
    EXPECT_NE(unit.find("ExecStart=\"" + Vs5Platform::ExecutablePath() + "\"\n"),
              std::string::npos);
    EXPECT_EQ(systemd.calls(), "daemon-reload\nenable zelkor_vistrel5\n");

    out = CaptureStderr([&] { InstallService(kServiceName, "desc", false, systemd.manager); });
    EXPECT_EQ(out, "CreateService failed - File exists (17)\n");
    out = CaptureStderr([&] { InstallService(kServiceName, "desc", true, systemd.manager); });
    EXPECT_EQ(out, "");  // silent

    systemd.manager.runtimeFolder = systemd.dir / "no-systemd";
    out = CaptureStderr([&] { InstallService(kServiceName, "desc", false, systemd.manager); });
    EXPECT_EQ(out, "OpenSCManager failed - No such file or directory (2)\n");
}

TEST(ServiceInstall, RemoveStopsARunningServiceAndDeletesTheUnit) {
    FakeSystemd systemd;
    std::string out = CaptureStderr([&] { RemoveService(kServiceName, false, systemd.manager); });
    EXPECT_EQ(out, "OpenService failed - No such file or directory (2)\n");

    // Not running: no stop message, still removed.
    WriteFile(systemd.manager.UnitPath(kServiceName), "unit");
    out = CaptureStderr([&] { RemoveService(kServiceName, false, systemd.manager); });
    EXPECT_EQ(out, "Zelkor Vistrel 5 Service removed.\n");
    EXPECT_FALSE(vstest::Exists(systemd.manager.UnitPath(kServiceName)));

    // Running: stop, poll while deactivating, then report.
    WriteFile(systemd.manager.UnitPath(kServiceName), "unit");
    WriteFile(systemd.dir / "states", "active\ndeactivating\ninactive\n");
    std::remove((systemd.dir / "calls").c_str());
    out = CaptureStderr([&] { RemoveService(kServiceName, false, systemd.manager); });
    EXPECT_EQ(out, "\nZelkor Vistrel 5 Service stopped.\nZelkor Vistrel 5 Service removed.\n");
    EXPECT_EQ(systemd.calls(),
              "is-active zelkor_vistrel5\nstop --no-block zelkor_vistrel5\n"
              "is-active zelkor_vistrel5\nis-active zelkor_vistrel5\n"
              "disable zelkor_vistrel5\ndaemon-reload\n");
}
