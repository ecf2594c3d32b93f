#include "worker/worker_link.h"

#include "image/status.h"
#include "platform/uuid.h"
#include "worker/pipe_io.h"
#include "worker/worker_process.h"

namespace Vs5Worker {

namespace {

// The most an encode reply may announce; anything larger cannot be a real
// image of ours and means the stream is out of step.
constexpr uint32_t kMaxEncodedBytes = 0x7FFFFFF0u;

uint32_t U32At(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

WorkerLink::WorkerLink(CWorkerProcess* worker)
    : worker_(worker), linkId_(Vs5Platform::NewUuidString()) {}

// The worker lost this link's image with its stream: the link's later steps
// fail at once instead of running on the replacement's empty image.
uint32_t WorkerLink::Broken() {
    if (!broken_ && worker_ != nullptr)
        worker_->Replace();
    broken_ = true;
    return Vs4Image::GenericError;
}

bool WorkerLink::Send(uint32_t opcode, const std::vector<uint8_t>& body) {
    if (broken_ || worker_ == nullptr || !worker_->EnsureRunning())
        return false;
    std::vector<uint8_t> message = EncodeHeader(opcode, layer_);
    message.insert(message.end(), body.begin(), body.end());
    return WriteAll(worker_->fd(), message.data(), message.size(), worker_->timeoutMs()) ==
           IoResult::kOk;
}

bool WorkerLink::Read(void* data, size_t size) {
    return ReadExact(worker_->fd(), data, size, worker_->timeoutMs()) == IoResult::kOk;
}

uint32_t WorkerLink::ReadSizeReply() {
    uint8_t reply[kSizeReplySize];
    if (!Read(reply, sizeof reply))
        return Broken();
    SizeReply size = DecodeSizeReply(reply);
    if (size.status == 0) {
        width_ = static_cast<int>(size.width);
        height_ = static_cast<int>(size.height);
    }
    return size.status;
}

uint32_t WorkerLink::ReadStatusReply() {
    uint8_t reply[kStatusReplySize];
    if (!Read(reply, sizeof reply))
        return Broken();
    return U32At(reply);
}

uint32_t WorkerLink::LoadFile(const LoadFileRequest& request) {
    if (!FitsField(request.path, kPathUnits))
        return Vs4Image::FileNotFound;
    if (!Send(kLoadFile, EncodeLoadFile(request)))
        return Broken();
    return ReadSizeReply();
}

uint32_t WorkerLink::LoadBytes(const uint8_t* bytes, size_t size) {
    if (size > 0xFFFFFFFFu)
        return Vs4Image::InvalidParameter;
    const auto count = static_cast<uint32_t>(size);
    std::vector<uint8_t> head = {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16),
                                 uint8_t(count >> 24)};
    if (!Send(kLoadBytes, head) ||
        WriteAll(worker_->fd(), bytes, size, worker_->timeoutMs()) != IoResult::kOk)
        return Broken();
    return ReadSizeReply();
}

uint32_t WorkerLink::SaveFile(const SaveFileRequest& request) {
    if (!FitsField(request.path, kPathUnits))
        return Vs4Image::InvalidParameter;
    if (!Send(kSaveFile, EncodeSaveFile(request)))
        return Broken();
    return ReadStatusReply();
}

uint32_t WorkerLink::Encode(const EncodeRequest& request, std::vector<uint8_t>& out) {
    if (!Send(kEncode, EncodeEncode(request)))
        return Broken();
    uint8_t head[kEncodeReplySize];
    if (!Read(head, sizeof head))
        return Broken();
    uint32_t status = U32At(head);
    uint32_t count = U32At(head + 4);
    if (status != 0)
        return status;
    if (count > kMaxEncodedBytes)
        return Broken();
    std::vector<uint8_t> bytes(count);
    if (count > 0 && !Read(bytes.data(), count))
        return Broken();
    out = std::move(bytes);
    return 0;
}

uint32_t WorkerLink::Apply(const Vs4Command::Operation& op) {
    if (std::holds_alternative<Vs4Command::CaptchaOp>(op) ||
        std::holds_alternative<Vs4Command::ReloadOp>(op))
        return Vs4Image::NotImplemented;
    // Only a flip has two steps; both run, and the last one answers.
    uint32_t status = 0;
    for (const Message& message : EncodeOperation(op)) {
        if (!Send(message.opcode, message.body))
            return Broken();
        status = ReplyOf(message.opcode) == ReplyKind::kSize ? ReadSizeReply() : ReadStatusReply();
        if (broken_)
            break;  // the reply did not come; that worker is gone
    }
    return status;
}

}  // namespace Vs5Worker
