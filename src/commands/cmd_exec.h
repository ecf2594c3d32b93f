// EXEC: a script of photo-command lines run on a file, on image bytes or on a
// captured web page; its output line returns the encoded image or writes it
// to a path. No cache is used.
#pragma once

#include "commands/cmd_get.h"

namespace Vs4Command {

class CVs4CmdExec : public CVs4CmdGet {
public:
    using CVs4CmdGet::CVs4CmdGet;
    void Execute(Vs5Server::RequestContext& context, const uint8_t* frame, size_t length,
                 Vs5Server::ResponseBuffer& response) override;
};

}  // namespace Vs4Command
