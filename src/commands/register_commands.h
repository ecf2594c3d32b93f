// The verbs the server answers.
#pragma once

namespace Vs5Server {
class CommandRegistry;
}

namespace Vs4Command {

// Registers GET, EXEC and EXEC2.
void RegisterCommands(Vs5Server::CommandRegistry& registry);

}  // namespace Vs4Command
