// The command line, and -install and -remove against stand-ins for systemctl,
// getent and useradd that record their arguments, so everything up to the
// service manager runs.
#include "host/service_install.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "host/cmd_parameters.h"
#include "platform/module.h"
#include "support/temp_dir.h"

using vstest::ReadFile;
using vstest::WriteFile;

namespace {

// getent finds the accounts listed in "accounts"; useradd exits with the
// number in "useradd-exit"; is-active answers the first line of "states" and
// drops it while more follow. Each records its arguments.
struct FakeSystemd {
    vstest::TempDir dir;
    ServiceManager manager{dir / "units", dir / "systemctl", dir / "run", dir / "getent",
                           dir / "useradd"};
    FakeSystemd() {
        mkdir((dir / "units").c_str(), 0755);
        mkdir((dir / "run").c_str(), 0755);
        for (auto [name, text] :
             {std::pair{"states", "inactive\n"}, {"accounts", ""}, {"useradd-exit", "0"}})
            WriteFile(dir / name, text);
        for (auto [name, body] :
             {std::pair{"getent", "grep -qx \"$2\" \"$d/accounts\""},
              {"useradd", "echo \"$@\" >> \"$d/useradd-calls\"; exit $(cat \"$d/useradd-exit\")"},
              {"systemctl",
               "echo \"$@\" >> \"$d/calls\"; [ \"$1\" = is-active ] || exit 0\n"
               "head -n1 \"$d/states\"\n"
               "[ $(wc -l < \"$d/states\") -gt 1 ] && sed -i 1d \"$d/states\"; exit 0"}}) {
            WriteFile(dir / name, "#!/bin/sh\nd=$(dirname \"$0\")\n" + std::string(body) + "\n");
            chmod((dir / name).c_str(), 0755);
        }
    }
    std::string Take(const std::string& name) {
        std::string text = vstest::Exists(dir / name) ? ReadFile(dir / name) : "";
        std::remove((dir / name).c_str());
        return text;
    }
    // What -install (or -remove) prints.
    std::string Install(bool silent = false, bool remove = false) {
        testing::internal::CaptureStderr();
        remove ? RemoveService(kServiceName, false, manager)
               : InstallService(kServiceName, "desc", silent, manager);
        return testing::internal::GetCapturedStderr();
    }
    std::string Remove() { return Install(false, true); }
    std::string unit() { return manager.UnitPath(kServiceName); }
};

}  // namespace

TEST(ServiceInstall, UnitRunsTheProgramHardenedUnderItsOwnAccount) {
    // Unit files expand % and $, and quote with backslashes.
    std::string text = ServiceUnitText("desc", "/opt/my vistrel/100%$\"x/vistrel5");
    for (const char* line :
         {"Description=desc\n", "Type=notify\n",
          "ExecStart=\"/opt/my vistrel/100%%$$\\\"x/vistrel5\"\n", "Restart=on-failure\n",
          "User=vistrel\n", "Group=vistrel\n", "NoNewPrivileges=yes\n", "ProtectSystem=strict\n",
          "ReadWritePaths=\"/opt/my vistrel/100%%$$\\\"x\"\n", "WantedBy=multi-user.target\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(ServiceInstall, TheAccountIsCreatedWhenMissingAndTheUnitWrittenOnce) {
    FakeSystemd systemd;
    const std::string useradd =
        "--system --user-group --no-create-home --home-dir /nonexistent --shell "
        "/usr/sbin/nologin --comment Zelkor Vistrel 5 Service vistrel\n";
    struct Case {
        std::string accounts, exitCode, printed, useraddCalls;
        bool unitWritten;
    } cases[] = {
        {"", "9", "Cannot create the service account vistrel - useradd exited with 9\n", useradd,
         false},
        {"vistrel\n", "0", "Zelkor Vistrel 5 Service installed.\n", "", true},
        {"", "0", "Service account vistrel created.\nZelkor Vistrel 5 Service installed.\n",
         useradd, true},
    };
    for (const Case& c : cases) {
        WriteFile(systemd.dir / "accounts", c.accounts);
        WriteFile(systemd.dir / "useradd-exit", c.exitCode);
        std::remove(systemd.unit().c_str());
        EXPECT_EQ(systemd.Install(), c.printed) << c.accounts;
        EXPECT_EQ(systemd.Take("useradd-calls"), c.useraddCalls);
        EXPECT_EQ(vstest::Exists(systemd.unit()), c.unitWritten);
        EXPECT_EQ(systemd.Take("calls"),
                  c.unitWritten ? "daemon-reload\nenable zelkor_vistrel5\n" : "");
    }
    EXPECT_NE(
        ReadFile(systemd.unit()).find("ExecStart=\"" + Vs5Platform::ExecutablePath() + "\"\n"),
        std::string::npos);

    EXPECT_EQ(systemd.Install(), "CreateService failed - File exists (17)\n");
    EXPECT_EQ(systemd.Install(true), "");  // silent
    systemd.manager.runtimeFolder = systemd.dir / "no-systemd";
    EXPECT_EQ(systemd.Install(), "OpenSCManager failed - No such file or directory (2)\n");
}

TEST(ServiceInstall, RemoveStopsARunningServiceAndDeletesTheUnit) {
    FakeSystemd systemd;
    EXPECT_EQ(systemd.Remove(), "OpenService failed - No such file or directory (2)\n");
    // Not running: no stop message, still removed.
    WriteFile(systemd.unit(), "unit");
    EXPECT_EQ(systemd.Remove(), "Zelkor Vistrel 5 Service removed.\n");
    EXPECT_FALSE(vstest::Exists(systemd.unit()));

    // Running: stop, poll while deactivating, then report.
    WriteFile(systemd.unit(), "unit");
    WriteFile(systemd.dir / "states", "active\ndeactivating\ninactive\n");
    systemd.Take("calls");
    EXPECT_EQ(systemd.Remove(),
              "\nZelkor Vistrel 5 Service stopped.\nZelkor Vistrel 5 Service removed.\n");
    EXPECT_EQ(systemd.Take("calls"),
              "is-active zelkor_vistrel5\nstop --no-block zelkor_vistrel5\n"
              "is-active zelkor_vistrel5\nis-active zelkor_vistrel5\n"
              "disable zelkor_vistrel5\ndaemon-reload\n");
}

TEST(CmdParameters, SwitchesValuesAndFailures) {
    CCmdParameters p;
    EXPECT_TRUE(p.ParseLine("-install \"a value\" -silent\t-remove"));
    EXPECT_EQ(p.count(), 3);
    EXPECT_EQ(p.Value("-install"), "a value");
    EXPECT_TRUE(p.Has("-silent") && !p.Value("-silent").has_value());
    EXPECT_FALSE(p.Has("-INSTALL"));  // exact and case-sensitive
    for (auto [line, ok] : {std::pair{"", true},
                            {"-install word -other", true},  // unknown switches are kept
                            {"-debug -debug", false},        // duplicate switch
                            {"word -install", false},        // value without a switch
                            {"-install one two", false}})    // a second value in a row
        EXPECT_EQ(CCmdParameters().ParseLine(line), ok) << line;
    // The switch table holds 64 and never overflows.
    std::vector<std::string> tokens(65);
    for (int i = 0; i < 65; ++i)
        tokens[i] = "-s" + std::to_string(i);
    CCmdParameters over;
    EXPECT_TRUE(!over.Parse(tokens) && over.count() == 64);
    tokens.pop_back();
    EXPECT_TRUE(CCmdParameters().Parse(tokens));
}
