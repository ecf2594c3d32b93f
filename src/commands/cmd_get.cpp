#include "commands/cmd_get.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "cache/result_cache.h"
#include "commands/impersonation.h"
#include "config/configuration.h"
#include "config/metrics.h"
#include "photocmd/classify.h"
#include "photocmd/param_readers.h"
#include "photocmd/result_codes.h"
#include "platform/event.h"
#include "platform/text.h"
#include "server/body_strings.h"
#include "server/frame.h"
#include "server/response_builders.h"
#include "worker/run_command.h"

namespace Vs4Command {

namespace {

// One command of a request (the default command or the request's own):
// its parameters and, when its cmd names a command file, that file.
struct CommandPart {
    bool present = false;
    ParamMap params;
    const CommandFile* file = nullptr;
};

// What a GET request reads before any file is touched.
struct GetRequest {
    std::string source;
    std::string command;  // as received, for the log
    CommandPart defaultPart, requestPart;
    std::string keyDefault, keyRequest;  // the cache key's inputs
};

// Classifies `part`'s cmd and, for a command file, appends its version tag to
// `fileText`. 103 when the file does not exist.
int ResolveCommandFile(CommandPart& part, CommandFileStore& store, std::string& fileText) {
    CommandClass kind = ClassifyCommand(part.params, store);
    if (!kind.isCommandFile)
        return kResultOk;
    if (kind.file == nullptr)
        return kResultCommandFileNotFound;
    part.file = kind.file;
    fileText += kind.versionTag;
    return kResultOk;
}

// The default command, the AvailableCommands rule and the command files.
int PrepareCommands(const CommandServices& services, const Settings& settings, GetRequest& r) {
    std::string fileText;
    std::string defaultCommand;
    if (services.config.FindDefaultCommand(r.source, defaultCommand)) {
        r.defaultPart.present = true;
        r.defaultPart.params = ParseParams(defaultCommand);
        int result = ResolveCommandFile(r.defaultPart, services.commandFiles, fileText);
        if (result != kResultOk)
            return result;
        defaultCommand += fileText;
    }
    r.keyDefault = defaultCommand;
    r.keyRequest = r.command;
    if (r.command.empty())
        return kResultOk;
    r.requestPart.present = true;
    r.requestPart.params = ParseParams(r.command);
    std::string cmd = GetLowerString(r.requestPart.params, "cmd");
    if (cmd.empty() || !settings.IsCommandAvailable(cmd))
        return kResultCommandNotAllowed;
    int result = ResolveCommandFile(r.requestPart, services.commandFiles, fileText);
    if (result != kResultOk)
        return result;
    r.keyRequest += fileText;
    return kResultOk;
}

int RunPart(Vs5Worker::WorkerLink& link, const CommandPart& part, const Settings& settings,
            const OperationFolders& folders) {
    if (part.file != nullptr)
        return Vs5Worker::RunCommandFile(link, *part.file, part.params, settings, folders);
    return Vs5Worker::RunCommand(link, part.params, settings, folders);
}

// Steps 7 to 9: load, run the default and then the request command (the
// latter runs even when the former failed, and its code wins), save.
int MakeResult(const CommandServices& services, const Settings& settings, const GetRequest& r,
               Vs5Server::RequestContext& context, const std::string& user,
               const std::string& password, std::string& resultPath) {
    Vs5Worker::WorkerLink link(context.worker);
    uint32_t status = link.LoadFile({r.source, user, password});
    if (status != 0)
        return ResultFromStatus(static_cast<int>(status));
    OperationFolders folders{services.config.frameFolder(), services.config.imageFolder()};
    int result = kResultOk;
    if (r.defaultPart.present)
        result = RunPart(link, r.defaultPart, settings, folders);
    if (r.requestPart.present)
        result = RunPart(link, r.requestPart, settings, folders);
    if (result != kResultOk)
        return result;
    services.cache.MakeResultPath(r.source, settings.useCache, resultPath);
    status = link.SaveFile({resultPath, JpegQuality(settings.imageJpegQuality),
                            settings.persistMetadata != 0, "", ""});
    return ResultFromStatus(static_cast<int>(status));
}

// A result written while another request stored the same key: the newer
// file goes, and the request answers with the stored one.
void KeepWinner(const CommandServices& services, const std::string& key, std::string& path) {
    if (unlink(path.c_str()) != 0)
        services.config.systemLog().WriteLine("The dangling file %s was not deleted(%d).\r\n",
                                              path.c_str(), errno);
    services.cache.Lookup(key, path);
}

void RespondWithPath(Vs5Server::ResponseBuffer& response, const Vs5Server::BodyStringReader& body,
                     const std::string& path) {
    if (body.encoding() == Vs5Server::kEncodingCodePage)
        Vs5Server::BuildCodePageTextResponse(response, body.codePage(), 0, path);
    else
        Vs5Server::BuildTextResponse(response, 0, path);
}

}  // namespace

void CVs4CmdGet::Execute(Vs5Server::RequestContext& context, const uint8_t* frame, size_t length,
                         Vs5Server::ResponseBuffer& response) {
    const uint32_t start = Vs5Platform::TickCount();
    Configuration& config = services_.config;
    std::shared_ptr<const Settings> settings = config.settings();
    Vs5Server::BodyStringReader body(frame, length);
    GetRequest r;
    if (body.hasStrings()) {
        r.source = Vs5Platform::Utf16ToUtf8(body.first());
        r.command = Vs5Platform::Utf16ToUtf8(body.second());
    }

    int result = PrepareCommands(services_, *settings, r);
    if (result != kResultOk) {
        Vs5Server::BuildHeaderOnlyResponse(response, static_cast<uint32_t>(result));
        config.LogRequest(context.clientAddress, result, r.source, r.command, 0, 0);
        return;
    }

    CImpersonation impersonation;
    std::string user, password;
    impersonation.Impersonate(config, r.source, &user, &password);
    std::string key, resultPath;
    int cacheHit = 0;
    bool fresh = false;
    if (!services_.cache.MakeKey(r.source, r.keyDefault, r.keyRequest, key)) {
        result = kResultSourceMissing;
    } else if (settings->useCache && services_.cache.Lookup(key, resultPath)) {
        cacheHit = 1;
        ++Metrics::Instance().cacheHits;
    } else {
        fresh = true;
        ++Metrics::Instance().cacheMisses;
        result = MakeResult(services_, *settings, r, context, user, password, resultPath);
    }
    impersonation.Revert();

    if (result != kResultOk) {
        Vs5Server::BuildHeaderOnlyResponse(response, static_cast<uint32_t>(result));
    } else {
        if (fresh && settings->useCache && !services_.cache.Insert(key, resultPath))
            KeepWinner(services_, key, resultPath);
        RespondWithPath(response, body, resultPath);
    }
    config.LogRequest(context.clientAddress, result, r.source, r.command, cacheHit,
                      static_cast<int>(Vs5Platform::TickCount() - start));
}

}  // namespace Vs4Command
