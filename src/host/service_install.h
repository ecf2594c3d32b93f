// Installing and removing the service as a systemd unit, with the messages
// the administrator sees (on standard error unless silent).
#pragma once

#include <string>

#include "host/systemctl.h"

extern const char kServiceName[];
extern const char kServiceDisplayName[];
extern const char kServiceDescription[];

// The account the service runs as; -install creates it when missing.
extern const char kServiceAccount[];

// The unit file text for the executable at `executablePath`: the service
// runs as kServiceAccount and may write only in the executable's folder.
std::string ServiceUnitText(const std::string& description, const std::string& executablePath);
// `value` as one double-quoted word of a unit file.
std::string QuoteForUnit(const std::string& value);

// Creates kServiceAccount (a system account with a group of its own, no home
// and no login shell) unless it exists; false, with a message, when it cannot.
bool EnsureServiceAccount(bool silent, const ServiceManager& manager);

void ShowMessage(bool silent, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The text of errno as "message (number)".
std::string FormatLastError();

void InstallService(const std::string& serviceName, const std::string& description, bool silent,
                    const ServiceManager& manager = ServiceManager());
void RemoveService(const std::string& serviceName, bool silent,
                   const ServiceManager& manager = ServiceManager());
