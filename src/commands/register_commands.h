// The verbs the server answers.
#pragma once

class Configuration;

namespace Vs5Server {
class CommandRegistry;
}

namespace Vs4Command {

// Registers GET, EXEC and EXEC2. The commands read their settings, folders
// and logs from `config`, which must outlive the registry.
void RegisterCommands(Vs5Server::CommandRegistry& registry, Configuration& config);

}  // namespace Vs4Command
