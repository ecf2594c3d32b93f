#include "commands/cmd_exec2.h"

#include "photocmd/result_codes.h"
#include "server/response_builders.h"

namespace Vs4Command {

void CVs5CmdExec2::Execute(Vs5Server::RequestContext&, const uint8_t*, size_t,
                           Vs5Server::ResponseBuffer& response) {
    Vs5Server::BuildHeaderOnlyResponse(response, kResultUnknownOperation);
}

}  // namespace Vs4Command
