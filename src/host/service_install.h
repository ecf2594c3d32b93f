// Installing and removing the service as a systemd unit, with the messages
// the administrator sees (on standard error unless silent).
#pragma once

#include <string>

#include "host/systemctl.h"

extern const char kServiceName[];
extern const char kServiceDisplayName[];
extern const char kServiceDescription[];

// The unit file text for the executable at `executablePath`.
std::string ServiceUnitText(const std::string& description, const std::string& executablePath);

void ShowMessage(bool silent, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The text of errno as "message (number)".
std::string FormatLastError();

void InstallService(const std::string& serviceName, const std::string& description, bool silent,
                    const ServiceManager& manager = ServiceManager());
void RemoveService(const std::string& serviceName, bool silent,
                   const ServiceManager& manager = ServiceManager());
