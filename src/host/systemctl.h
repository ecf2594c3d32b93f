// The only place that talks to systemd's service manager: systemctl runs and
// the unit file. Tests point it at a folder and a program of their own.
#pragma once

#include <string>
#include <vector>

struct ServiceManager {
    std::string unitFolder = "/etc/systemd/system";
    std::string systemctl = "systemctl";
    // Exists only while systemd runs as the init system.
    std::string runtimeFolder = "/run/systemd/system";
    // The account tools the installation uses.
    std::string getent = "getent";
    std::string useradd = "useradd";

    // True when systemd can be reached; errno is set when not.
    bool Reachable() const;
    std::string UnitPath(const std::string& serviceName) const;
    // Runs systemctl with the arguments; returns its exit status (or -1) and,
    // when `output` is given, what it printed (trimmed).
    int Run(const std::vector<std::string>& args, std::string* output = nullptr) const;
};

// Runs `program` (looked up in PATH) with the arguments, as Run does.
int RunProgram(const std::string& program, const std::vector<std::string>& args,
               std::string* output = nullptr);
