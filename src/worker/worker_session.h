// The worker's side of the conversation: one image, the layers a command file
// made on it, and a loop that reads one request at a time and answers it.
// Everything a request does happens on this one thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image/base_image.h"
#include "photocmd/deferred_source.h"
#include "photocmd/layer_set.h"
#include "photocmd/named_images.h"
#include "platform/logon.h"
#include "worker/pipe_protocol.h"

namespace Vs5Worker {

class WorkerSession {
public:
    WorkerSession();
    WorkerSession(const WorkerSession&) = delete;
    WorkerSession& operator=(const WorkerSession&) = delete;

    // Serves requests on `fd` until the stop request or the end of the
    // stream. Returns the process exit status: 0 after a stop or when the
    // server went away, 2 when the stream made no sense.
    int Serve(int fd);

private:
    bool HandleRequest(int fd, uint32_t opcode, const std::string& layer,
                       std::vector<uint8_t>& body);
    SizeReply LoadFile(const LoadFileRequest& request);
    SizeReply LoadBytes(std::vector<uint8_t> bytes);
    SizeReply Loaded(Vs4Image::Status status);
    uint32_t SaveFile(const SaveFileRequest& request);
    uint32_t ApplyStep(uint32_t opcode, const std::string& layer, const uint8_t* body,
                       SizeReply& size);
    SizeReply SizeOf(const Vs4Image::CBaseImage& image, uint32_t status) const;
    void NewImage();
    // Takes the account's identity for one file access; false (and the
    // access goes on as the worker) when the account cannot log on.
    bool Impersonate(const std::string& user, const std::string& password);

    Vs4Image::CBaseImage image_;
    // A loaded JPEG waits here until a step needs its pixels, so that a first
    // downscale can decode it at a reduced size.
    Vs4Command::DeferredSource source_;
    std::unique_ptr<Vs4Command::LayerSet> layers_;  // over image_; new with every load
    Vs4Command::NamedImageTable noNamedImages_;     // merges through a worker name files only
    // Accounts that logged on, by "user:password"; failures are not kept.
    std::map<std::string, Vs5Platform::LogonToken> tokens_;
};

}  // namespace Vs5Worker
