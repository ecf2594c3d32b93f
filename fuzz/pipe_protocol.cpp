// The worker's messages: a header, then the body of the opcode it names. An
// operation read from a body and written again must read back to the same
// bytes, as must the load, save and encode requests.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "worker/pipe_protocol.h"

namespace {

using namespace Vs5Worker;

void CheckOperation(uint32_t opcode, const std::vector<uint8_t>& body) {
    std::optional<Vs4Command::Operation> op = DecodeOperation(opcode, body.data());
    if (!op)
        return;
    const std::vector<Message> messages = EncodeOperation(*op);
    for (const Message& m : messages) {
        VsFuzz::Check(BodySize(m.opcode) == m.body.size(), "encoded body has its opcode's size");
        std::optional<Vs4Command::Operation> back = DecodeOperation(m.opcode, m.body.data());
        VsFuzz::Check(back.has_value(), "encoded operation decodes");
        const std::vector<Message> again = EncodeOperation(*back);
        VsFuzz::Check(again.size() == 1 && again[0].opcode == m.opcode && again[0].body == m.body,
                      "operation reads back as written");
    }
}

void CheckRequests(const std::vector<uint8_t>& body) {
    LoadFileRequest load = DecodeLoadFile(body.data());
    VsFuzz::Check(DecodeLoadFile(EncodeLoadFile(load).data()).path == load.path, "load path");
    SaveFileRequest save = DecodeSaveFile(body.data());
    SaveFileRequest saveBack = DecodeSaveFile(EncodeSaveFile(save).data());
    VsFuzz::Check(saveBack.path == save.path && saveBack.quality == save.quality &&
                      saveBack.keepMetadata == save.keepMetadata,
                  "save request");
    EncodeRequest encode = DecodeEncode(body.data());
    EncodeRequest encodeBack = DecodeEncode(EncodeEncode(encode).data());
    VsFuzz::Check(encodeBack.format == encode.format && encodeBack.quality == encode.quality,
                  "encode request");
    DecodeSizeReply(body.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<uint8_t> head = in.ConsumeBytes<uint8_t>(kHeaderSize);
    head.resize(kHeaderSize);
    const Header header = DecodeHeader(head.data());
    std::vector<uint8_t> body = in.ConsumeRemainingBytes<uint8_t>();
    // The largest body of any opcode; shorter inputs are padded with zeros.
    constexpr size_t kLargestBody = 2344;
    body.resize(kLargestBody);
    ReplyOf(header.opcode);
    CarriesLayer(header.opcode);
    if (BodySize(header.opcode))
        CheckOperation(header.opcode, body);
    CheckRequests(body);
    const std::vector<uint8_t> reencoded = EncodeHeader(header.opcode, header.layer);
    VsFuzz::Check(DecodeHeader(reencoded.data()).opcode == header.opcode, "header opcode");
    return 0;
}
