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

TEST(ServiceInstall, UnitText) {
    std::string text = ServiceUnitText(kServiceDescription, "/opt/vistrel/vistrel5");
    EXPECT_EQ(text,
              "[Unit]\n"
              "Description=The Vistrel is a server-based image processing endgine that provide "
              "lots of functionality for imaging  in conjunction with the IIS.\n"
              "StartLimitIntervalSec=100\n\n"
              "[Service]\nType=notify\nExecStart=/opt/vistrel/vistrel5\nRestart=on-failure\n"
              "RestartSec=3\n\n[Install]\nWantedBy=multi-user.target\n");
}

TEST(ServiceInstall, InstallWritesTheUnitOnceAndEnablesIt) {
    FakeSystemd systemd;
    std::string out =
        CaptureStderr([&] { InstallService(kServiceName, "desc", false, systemd.manager); });
    EXPECT_EQ(out, "Zelkor Vistrel 5 Service installed.\n");
    std::string unit = ReadFile(systemd.manager.UnitPath(kServiceName));
    EXPECT_NE(unit.find("ExecStart=" + Vs5Platform::ExecutablePath() + "\n"), std::string::npos);
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
