// EXEC2: named images kept per connection, loaded, captured, created, run
// through scripts, read and encoded in this process.
#pragma once

#include "server/command.h"

class Configuration;

namespace Vs4Command {

class CVs5CmdExec2 : public CVs4Command {
public:
    explicit CVs5CmdExec2(Configuration& config) : config_(config) {}

    void Execute(Vs5Server::RequestContext& context, const uint8_t* frame, size_t length,
                 Vs5Server::ResponseBuffer& response) override;

private:
    Configuration& config_;
};

}  // namespace Vs4Command
