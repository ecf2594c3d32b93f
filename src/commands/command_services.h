// What the verb handlers work with: the configuration (settings, folders,
// tables and logs), the result cache and the command-file store. The service
// passes the process-wide objects; tests pass their own.
#pragma once

class Configuration;
class ResultCache;

namespace Vs4Command {

class CommandFileStore;

struct CommandServices {
    Configuration& config;
    ResultCache& cache;
    CommandFileStore& commandFiles;
};

}  // namespace Vs4Command
