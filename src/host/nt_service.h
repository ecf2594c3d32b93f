// The service object: Start brings the subsystems up in a fixed order, Stop
// takes them down in reverse. Both run on the same thread, one after the other.
#pragma once

#include <memory>
#include <string>

#include "platform/event.h"

namespace Vs5Server {
class CAsioVs5Server;
}
namespace Vs4Command {
class IoThreadResources;
}

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
    ~CVs5NtService() override;
    void Start(int argc, char** argv) override;
    void Stop() override;
    // True when Start could not bring up a server that answers (no I/O
    // thread has a worker); the caller stops and exits with an error.
    bool failed() const { return failed_; }

private:
    Vs5Platform::ManualResetEvent& stopEvent_;
    std::string moduleFolder_;
    std::unique_ptr<Vs4Command::IoThreadResources> ioResources_;
    std::unique_ptr<Vs5Server::CAsioVs5Server> server_;
    bool failed_ = false;
};

// The process-wide stop event: setting it asks every thread to end.
Vs5Platform::ManualResetEvent& ProcessStopEvent();
