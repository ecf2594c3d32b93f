#include "commands/register_commands.h"

#include <memory>

#include "commands/cmd_exec2.h"
#include "server/command_registry.h"

namespace Vs4Command {

void RegisterCommands(Vs5Server::CommandRegistry& registry, Configuration& config) {
    registry.Register("EXEC2", std::make_unique<CVs5CmdExec2>(config));
}

}  // namespace Vs4Command
