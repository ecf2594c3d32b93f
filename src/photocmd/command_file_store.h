// Command files: named sequences of photo commands kept as
// "<command folder>/<name>.vscmd", one command a line. The store loads each
// version of a file once and keeps every version it has loaded until the
// store is destroyed, so a CommandFile it hands out stays valid without a lock.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "photocmd/param_map.h"
#include "platform/file_time.h"

namespace Vs4Command {

struct CommandFile {
    static constexpr size_t kMaxCommands = 16;

    // "&" and the last-write time as a FILETIME number; it goes into the
    // cache key, so an edited file does not find the results of its old version.
    std::string versionTag;
    // The command lines in file order, placeholders unfilled.
    std::vector<ParamMap> commands;

    int count() const { return static_cast<int>(commands.size()); }
};

// Longest piece of a line read at once; a longer line is taken as several.
constexpr size_t kMaxCommandLineBytes = 2047;

// Parses the content of a command file. With the UTF-8 byte-order mark the
// lines are UTF-8, otherwise in the ANSI code page. Empty lines and lines
// that begin with ";" are skipped; the first kMaxCommands others are kept.
void ParseCommandFileContent(std::string_view bytes, CommandFile& file);

class CommandFileStore {
public:
    explicit CommandFileStore(std::string commandFolder);
    CommandFileStore(const CommandFileStore&) = delete;
    CommandFileStore& operator=(const CommandFileStore&) = delete;

    // The process-wide store over the configuration's command folder,
    // created on first use.
    static CommandFileStore& Instance();
    // Destroys the process-wide store (service stop, when no request runs).
    static void DestroyInstance();

    // The current version of the file `name` (lower case), loading it when
    // this version has not been seen; nullptr when the file does not exist,
    // cannot be read, the name could reach outside the command folder, or
    // the store has no folder.
    const CommandFile* Find(const std::string& name);

    const std::string& folder() const { return folder_; }

private:
    const std::string folder_;
    std::mutex lock_;  // guards files_; held for a whole Find, reading included
    std::map<std::string, std::unique_ptr<CommandFile>> files_;  // by "name:time:size"
};

// The store's lookup under its usual name.
inline const CommandFile* FindCommandFile(CommandFileStore& store, const std::string& name) {
    return store.Find(name);
}

}  // namespace Vs4Command
