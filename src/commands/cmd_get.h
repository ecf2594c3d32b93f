// GET: the client names a source file and a photo command and receives the
// path of a result file. Results are kept in the result cache, so a repeated
// request for the same unchanged source and command does no image work.
#pragma once

#include "commands/command_services.h"
#include "server/command.h"

namespace Vs4Command {

class CVs4CmdGet : public CVs4Command {
public:
    explicit CVs4CmdGet(const CommandServices& services) : services_(services) {}
    void Execute(Vs5Server::RequestContext& context, const uint8_t* frame, size_t length,
                 Vs5Server::ResponseBuffer& response) override;

protected:
    CommandServices services_;
};

}  // namespace Vs4Command
