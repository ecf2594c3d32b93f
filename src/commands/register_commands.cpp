#include "commands/register_commands.h"

#include <memory>

#include "cache/result_cache.h"
#include "commands/cmd_exec.h"
#include "commands/cmd_exec2.h"
#include "commands/cmd_get.h"
#include "config/configuration.h"
#include "photocmd/command_file_store.h"
#include "server/command_registry.h"

namespace Vs4Command {

void RegisterCommands(Vs5Server::CommandRegistry& registry, const CommandServices& services) {
    registry.Register("GET", std::make_unique<CVs4CmdGet>(services));
    registry.Register("EXEC", std::make_unique<CVs4CmdExec>(services));
    registry.Register("EXEC2", std::make_unique<CVs5CmdExec2>(services));
}

CommandServices ProcessServices() {
    return {Configuration::Instance(), ResultCache::Instance(), CommandFileStore::Instance()};
}

}  // namespace Vs4Command
