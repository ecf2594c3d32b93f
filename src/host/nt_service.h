// The service object: Start brings the subsystems up in a fixed order, Stop
// takes them down in reverse. Both run on the same thread, one after the other.
#pragma once

#include <string>

#include "platform/event.h"

class CNtService {
public:
    explicit CNtService(const std::string& serviceName) : serviceName_(serviceName) {}
    virtual ~CNtService() = default;
    virtual void Start(int argc, char** argv) = 0;
    virtual void Stop() = 0;
    const std::string& name() const { return serviceName_; }

private:
    std::string serviceName_;
};

class CVs5NtService : public CNtService {
public:
    // `moduleFolder` is where the working folders and the INI file live; empty
    // means the executable's folder.
    explicit CVs5NtService(Vs5Platform::ManualResetEvent& stopEvent, std::string moduleFolder = "");
    void Start(int argc, char** argv) override;
    void Stop() override;

private:
    Vs5Platform::ManualResetEvent& stopEvent_;
    std::string moduleFolder_;
};

// The process-wide stop event: setting it asks every thread to end.
Vs5Platform::ManualResetEvent& ProcessStopEvent();
