#include "server/command_registry.h"

#include <mutex>

#include "config/metrics.h"
#include "platform/event.h"
#include "platform/text.h"
#include "server/frame.h"

namespace Vs5Server {

namespace {

std::mutex gInstanceLock;  // guards gInstance and gRegistrar
std::unique_ptr<CommandRegistry> gInstance;
CommandRegistry::Registrar gRegistrar;

}  // namespace

CommandRegistry& CommandRegistry::Instance() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    if (!gInstance) {
        gInstance = std::make_unique<CommandRegistry>();
        if (gRegistrar)
            gRegistrar(*gInstance);
    }
    return *gInstance;
}

void CommandRegistry::DestroyInstance() {
    std::unique_ptr<CommandRegistry> doomed;
    std::lock_guard<std::mutex> guard(gInstanceLock);
    doomed = std::move(gInstance);
}

void CommandRegistry::SetRegistrar(Registrar registrar) {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    gRegistrar = std::move(registrar);
}

bool CommandRegistry::Register(const std::string& verb,
                               std::unique_ptr<Vs4Command::CVs4Command> command) {
    if (!command)
        return false;
    return commands_.emplace(Vs5Platform::Utf8ToUtf16(verb), std::move(command)).second;
}

Vs4Command::CVs4Command* CommandRegistry::Find(std::u16string_view verb) const {
    auto it = commands_.find(verb);
    return it == commands_.end() ? nullptr : it->second.get();
}

std::vector<std::string> CommandRegistry::verbs() const {
    std::vector<std::string> out;
    for (const auto& entry : commands_)
        out.push_back(Vs5Platform::Utf16ToUtf8(entry.first));
    return out;
}

void CommandRegistry::Dispatch(RequestContext& context, const uint8_t* frame, size_t length,
                               ResponseBuffer& response) const {
    const uint32_t start = Vs5Platform::TickCount();
    std::u16string verb = length >= kRequestHeaderSize ? DecodeRequestHeader(frame).verb : u"";
    Vs4Command::CVs4Command* command = Find(verb);
    if (command == nullptr)
        response.SetHeaderOnly(kStatusUnknownVerb);
    else
        command->Execute(context, frame, length, response);
    // Unknown verbs share one label, so a client cannot grow the figures.
    uint32_t status = response.length() >= kResponseHeaderSize ? ReadU32(response.data() + 4) : 0;
    Metrics::Instance().CountRequest(command ? Vs5Platform::Utf16ToUtf8(verb) : "other", status,
                                     Vs5Platform::TickCount() - start);
}

}  // namespace Vs5Server
