// The verbs the server answers.
#pragma once

#include "commands/command_services.h"

namespace Vs5Server {
class CommandRegistry;
}

namespace Vs4Command {

// Registers GET, EXEC and EXEC2 working with `services`.
void RegisterCommands(Vs5Server::CommandRegistry& registry, const CommandServices& services);

// The process-wide configuration, result cache and command-file store.
CommandServices ProcessServices();

}  // namespace Vs4Command
