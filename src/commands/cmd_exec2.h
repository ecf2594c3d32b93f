// EXEC2: named images kept per connection, loaded, captured, created, run
// through scripts, read and encoded in this process.
#pragma once

#include "commands/cmd_get.h"

namespace Vs4Command {

class CVs5CmdExec2 : public CVs4CmdGet {
public:
    using CVs4CmdGet::CVs4CmdGet;
    void Execute(Vs5Server::RequestContext& context, const uint8_t* frame, size_t length,
                 Vs5Server::ResponseBuffer& response) override;
};

}  // namespace Vs4Command
