// The verb table: verb text (exact, case-sensitive) to a long-lived command
// object. The host registers its commands before the server accepts the first
// connection; afterwards the table is only read, so lookups take no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/command.h"

namespace Vs5Server {

class CommandRegistry {
public:
    // Registers the host's commands into a freshly created registry.
    using Registrar = std::function<void(CommandRegistry&)>;

    CommandRegistry() = default;
    CommandRegistry(const CommandRegistry&) = delete;
    CommandRegistry& operator=(const CommandRegistry&) = delete;

    // The process-wide registry, created on first use (and filled through the
    // registrar set by SetRegistrar, if any).
    static CommandRegistry& Instance();
    // Deletes the process-wide registry and its commands; called after every
    // I/O thread has ended.
    static void DestroyInstance();
    // The function that fills each newly created process-wide registry. The
    // host sets it once at start, before the server starts.
    static void SetRegistrar(Registrar registrar);

    // Adds a command under `verb` (UTF-8). False when the verb is taken.
    bool Register(const std::string& verb, std::unique_ptr<Vs4Command::CVs4Command> command);
    Vs4Command::CVs4Command* Find(std::u16string_view verb) const;
    std::vector<std::string> verbs() const;

    // Runs the command the frame's verb names, or answers status 100 when no
    // command has that verb. `frame` holds at least the 36-byte header.
    void Dispatch(RequestContext& context, const uint8_t* frame, size_t length,
                  ResponseBuffer& response) const;

private:
    std::map<std::u16string, std::unique_ptr<Vs4Command::CVs4Command>, std::less<>> commands_;
};

}  // namespace Vs5Server
