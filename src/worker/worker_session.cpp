#include "worker/worker_session.h"

#include <malloc.h>

#include <new>

#include "image/codecs/codec.h"
#include "photocmd/apply_operation.h"
#include "worker/pipe_io.h"

namespace Vs5Worker {

using Vs4Image::CBaseImage;

WorkerSession::WorkerSession() {
    NewImage();
}

void WorkerSession::NewImage() {
    layers_ = std::make_unique<Vs4Command::LayerSet>(image_);
}

SizeReply WorkerSession::SizeOf(const CBaseImage& image, uint32_t status) const {
    return {status, static_cast<uint32_t>(image.width()), static_cast<uint32_t>(image.height())};
}

bool WorkerSession::Impersonate(const std::string& user, const std::string& password) {
    if (user.empty())
        return false;
    const std::string key = user + ":" + password;
    auto it = tokens_.find(key);
    if (it == tokens_.end()) {
        Vs5Platform::LogonToken token;
        if (Vs5Platform::LogonUser(user, password, token) != 0)
            return false;
        it = tokens_.emplace(key, std::move(token)).first;
    }
    return Vs5Platform::ImpersonateLoggedOnUser(it->second);
}

SizeReply WorkerSession::Loaded(Vs4Image::Status status) {
    NewImage();
    return {static_cast<uint32_t>(status), static_cast<uint32_t>(source_.width(image_)),
            static_cast<uint32_t>(source_.height(image_))};
}

SizeReply WorkerSession::LoadFile(const LoadFileRequest& request) {
    source_.Drop();
    image_.Clear();
    bool impersonating = Impersonate(request.user, request.password);
    std::vector<uint8_t> bytes;
    Vs4Image::Status status = Vs4Image::ReadWholeFile(request.path, bytes);
    if (impersonating)
        Vs5Platform::RevertToSelf();
    if (status == Vs4Image::Ok)
        status = source_.Load(image_, std::move(bytes));
    return Loaded(status);
}

SizeReply WorkerSession::LoadBytes(std::vector<uint8_t> bytes) {
    return Loaded(source_.Load(image_, std::move(bytes)));
}

uint32_t WorkerSession::SaveFile(const SaveFileRequest& request) {
    if (Vs4Image::Status s = source_.Realize(image_, nullptr); s != Vs4Image::Ok)
        return s;
    bool impersonating = Impersonate(request.user, request.password);
    Vs4Image::Status status =
        image_.SaveToFile(request.path, request.quality, request.keepMetadata ? 1 : 0);
    if (impersonating)
        Vs5Platform::RevertToSelf();
    return status;
}

// An operation on the addressed layer (the image itself when the name is
// empty or names no layer), or a layer operation on the command's layers.
uint32_t WorkerSession::ApplyStep(uint32_t opcode, const std::string& layer, const uint8_t* body,
                                  SizeReply& size) {
    std::optional<Vs4Command::Operation> op = DecodeOperation(opcode, body);
    if (!op)
        return Vs4Image::NotImplemented;
    if (Vs4Image::Status s = source_.Realize(image_, &*op); s != Vs4Image::Ok) {
        size = SizeOf(image_, s);
        return s;
    }
    CBaseImage& target = layers_->Target(layer);
    Vs4Command::MergeFileLoader plainLoad;
    Vs4Command::ApplyContext context{noNamedImages_, plainLoad, layers_.get()};
    uint32_t status = Vs4Command::ApplyOperation(*op, target, context);
    size = SizeOf(target, status);
    return status;
}

bool WorkerSession::HandleRequest(int fd, uint32_t opcode, const std::string& layer,
                                  std::vector<uint8_t>& body) {
    std::vector<uint8_t> reply;
    switch (opcode) {
        case kLoadFile:
            // A file load starts a request: what the last one freed goes back
            // to the system now, so the worker's size does not creep up with
            // the heap's fragments over thousands of requests.
            malloc_trim(0);
            reply = EncodeSizeReply(LoadFile(DecodeLoadFile(body.data())));
            break;
        case kLoadBytes:
            reply = EncodeSizeReply(LoadBytes(std::move(body)));
            break;
        case kSaveFile:
            reply = EncodeStatusReply(SaveFile(DecodeSaveFile(body.data())));
            break;
        case kEncode: {
            EncodeRequest request = DecodeEncode(body.data());
            std::vector<uint8_t> encoded;
            uint32_t status = source_.Realize(image_, nullptr);
            if (status == 0)
                status = image_.SaveToStream(request.format, request.quality,
                                             request.keepMetadata ? 1 : 0, encoded);
            if (status != 0)
                encoded.clear();
            reply = EncodeEncodeReplyHead(status, static_cast<uint32_t>(encoded.size()));
            reply.insert(reply.end(), encoded.begin(), encoded.end());
            break;
        }
        default: {
            SizeReply size;
            uint32_t status = ApplyStep(opcode, layer, body.data(), size);
            reply = ReplyOf(opcode) == ReplyKind::kSize ? EncodeSizeReply(size)
                                                        : EncodeStatusReply(status);
        }
    }
    return WriteAll(fd, reply.data(), reply.size(), -1) == IoResult::kOk;
}

int WorkerSession::Serve(int fd) {
    for (;;) {
        uint8_t head[kHeaderSize];
        if (ReadExact(fd, head, sizeof head, -1) != IoResult::kOk)
            return 0;  // the server closed its end
        Header header = DecodeHeader(head);
        if (header.opcode == kStop)
            return 0;
        std::vector<uint8_t> body;
        if (header.opcode == kLoadBytes) {
            uint8_t count[4];
            if (ReadExact(fd, count, 4, -1) != IoResult::kOk)
                return 0;
            body.resize(uint32_t(count[0]) | uint32_t(count[1]) << 8 | uint32_t(count[2]) << 16 |
                        uint32_t(count[3]) << 24);
        } else if (std::optional<size_t> size = BodySize(header.opcode)) {
            body.resize(*size);
        } else {
            return 2;  // an opcode without a known length leaves the stream unreadable
        }
        if (!body.empty() && ReadExact(fd, body.data(), body.size(), -1) != IoResult::kOk)
            return 0;
        if (!HandleRequest(fd, header.opcode, header.layer, body))
            return 0;
    }
}

}  // namespace Vs5Worker
