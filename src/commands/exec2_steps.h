// The steps of EXEC2 that need more than a few lines, each answering the
// request itself and writing its own request-log line.
#pragma once

#include <cstdint>

#include "commands/exec2_request.h"
#include "config/configuration.h"
#include "photocmd/command_file_store.h"
#include "photocmd/named_images.h"
#include "server/request_context.h"
#include "server/response_buffer.h"

namespace Vs4Command {

// One EXEC2 request on its way through the command.
struct Exec2Call {
    Configuration& config;
    CommandFileStore& commandFiles;
    Vs5Server::RequestContext& context;
    NamedImageTable& images;
    const Exec2Request& request;
    Vs5Server::ResponseBuffer& response;
    uint32_t startTick;  // TickCount() when the request started

    int ElapsedMs() const;
};

// Answers the image's size: width and height as two u32 in a binary payload
// (a picture still encoded answers the size its header declares).
void AnswerSize(Vs5Server::ResponseBuffer& response, const NamedImage& image);

// Kind 4: runs the script of text A on the named image, line by line; an
// "encode" line answers with the encoded image and ends the script.
void RunScriptStep(Exec2Call& call);

}  // namespace Vs4Command
