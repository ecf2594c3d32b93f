// The per-connection record every command receives. It is created when the
// connection is accepted and lives as long as the connection, so the images
// a client names on its connection stay available to its later requests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace Vs4Command {
class NamedImageTable;
}
namespace Vs5Worker {
class CWorkerProcess;
}
class CWebCaptureSync;

namespace Vs5Server {

struct RequestContext {
    // Takes the next id of the process-wide counter (the first is 1001).
    explicit RequestContext(std::string clientAddress);

    uint32_t requestId;
    std::string clientAddress;  // dotted IPv4 text, at most 63 characters
    // The dispatching I/O thread's worker process and capture events,
    // rewritten before every dispatch; null when the thread has none.
    Vs5Worker::CWorkerProcess* worker = nullptr;
    CWebCaptureSync* captureSync = nullptr;
    // Images named by the client on this connection, made by the first
    // command that needs them and destroyed with the connection. A shared_ptr
    // binds the table's deleter where the table is made, so the server never
    // needs the complete type of what the commands keep here.
    std::shared_ptr<Vs4Command::NamedImageTable> namedImages;
};

// Takes the next request id; every accepted connection takes one, refused ones
// included.
uint32_t NextRequestId();

}  // namespace Vs5Server
