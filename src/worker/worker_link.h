// A command's conversation with its thread's worker: one call per step, each
// writing the header and the body and reading the whole reply. The link keeps
// the size the worker last reported and the layer its steps address. Calls
// answer the worker's status; a worker that is missing, dies, or does not
// answer within WorkerTimeout answers GenericError (1) and is replaced, so
// the thread's next request finds a fresh one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "photocmd/operations.h"
#include "worker/pipe_protocol.h"

namespace Vs5Worker {

class CWorkerProcess;

class WorkerLink {
public:
    // `worker` may be null (the thread has none): every call then fails.
    explicit WorkerLink(CWorkerProcess* worker);

    int width() const { return width_; }
    int height() const { return height_; }
    const std::string& layer() const { return layer_; }
    void SetLayer(std::string name) { layer_ = std::move(name); }
    // A new UUID per link, for temporary file names.
    const std::string& linkId() const { return linkId_; }

    uint32_t LoadFile(const LoadFileRequest& request);
    uint32_t LoadBytes(const uint8_t* bytes, size_t size);
    uint32_t SaveFile(const SaveFileRequest& request);
    // Encoded bytes replace `out` when the status is 0.
    uint32_t Encode(const EncodeRequest& request, std::vector<uint8_t>& out);
    // Sends the step or steps of an operation value; a flip that does
    // nothing sends none and answers 0.
    uint32_t Apply(const Vs4Command::Operation& op);

private:
    bool Send(uint32_t opcode, const std::vector<uint8_t>& body);
    bool Read(void* data, size_t size);
    uint32_t ReadSizeReply();
    uint32_t ReadStatusReply();
    uint32_t Broken();

    CWorkerProcess* worker_;
    int width_ = 0;
    int height_ = 0;
    std::string layer_;
    std::string linkId_;
    bool broken_ = false;  // a step failed for want of an answer
};

}  // namespace Vs5Worker
