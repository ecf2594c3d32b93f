// The base of every command. A command object is created once, holds no
// state, and runs on several I/O threads at the same time, each call working
// only on its own connection's context and response buffer.
#pragma once

#include <cstdint>

#include "server/request_context.h"
#include "server/response_buffer.h"

namespace Vs4Command {

class CVs4Command {
public:
    virtual ~CVs4Command() = default;
    // `frame` is the complete request, header included, `length` bytes long.
    // On return `response` holds the complete response frame.
    virtual void Execute(Vs5Server::RequestContext& context, const uint8_t* frame, size_t length,
                         Vs5Server::ResponseBuffer& response) = 0;
};

}  // namespace Vs4Command
