// The messages between the server and its worker processes. Every request is
// a 136-byte header (opcode and the layer it addresses) and a body of a fixed
// size for its opcode; the worker answers with a status, a size (status,
// width, height) or, for an encode, a status, a byte count and the bytes.
// Integers are little-endian; texts are UTF-16LE in fixed fields, cut to fit
// and NUL-terminated. Encoding and decoding are pure functions over bytes, so
// both ends share one definition of every layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "photocmd/operations.h"

namespace Vs5Worker {

enum Opcode : uint32_t {
    kStop = 1,
    kLoadFile = 2,
    kLoadBytes = 3,
    kSaveFile = 5,
    kEncode = 6,
    kResize = 10,
    kFit = 11,
    kFrame = 12,
    kMerge = 13,
    kCrop = 14,
    kAutoCrop = 15,
    kRotate = 16,
    kFlipHorizontal = 17,
    kFlipVertical = 18,
    kText = 19,
    kAdjust = 40,
    kAdjustRgb = 41,
    kAutoLevel = 42,
    kNegative = 43,
    kSepia = 44,
    kBlur = 60,
    kSmooth = 61,
    kSharpen = 62,
    kGray = 63,
    kJitter = 64,
    kNoise = 65,
    kOilPaint = 66,
    kLayerNew = 80,
    kLayerCopy = 81,
    kLayerBlend = 82,
};

constexpr size_t kHeaderSize = 136;
constexpr size_t kLayerNameUnits = 65;  // WCHAR[65]: at most 64 characters
constexpr size_t kPathUnits = 261;      // WCHAR[261]: at most 260 characters
constexpr size_t kAccountUnits = 128;   // user and password fields
constexpr size_t kStatusReplySize = 4;
constexpr size_t kSizeReplySize = 12;
constexpr size_t kEncodeReplySize = 8;

// What the worker answers to an opcode.
enum class ReplyKind { kNone, kStatus, kSize, kEncoded };

// Body size of an opcode; nullopt for an unknown opcode and for opcode 3,
// whose body is a byte count and then that many bytes.
std::optional<size_t> BodySize(uint32_t opcode);
ReplyKind ReplyOf(uint32_t opcode);
// True for the opcodes that act on the addressed layer (10 to 66); the
// others carry an empty layer name.
bool CarriesLayer(uint32_t opcode);

struct Header {
    uint32_t opcode = 0;
    std::string layer;  // UTF-8
};
std::vector<uint8_t> EncodeHeader(uint32_t opcode, const std::string& layer);
Header DecodeHeader(const uint8_t* bytes);  // kHeaderSize bytes

// One request of an operation: opcode and body.
struct Message {
    uint32_t opcode = 0;
    std::vector<uint8_t> body;
};

// The messages that carry out an operation value: one for most, none or two
// for a flip. Empty for the values a worker does not run (captcha, reload).
std::vector<Message> EncodeOperation(const Vs4Command::Operation& op);
// The operation value of an operation message; nullopt for the load, save,
// encode and stop opcodes and for unknown ones. `body` holds BodySize bytes.
std::optional<Vs4Command::Operation> DecodeOperation(uint32_t opcode, const uint8_t* body);

// Opcode 2.
struct LoadFileRequest {
    std::string path, user, password;
};
// Opcode 5.
struct SaveFileRequest {
    std::string path;
    uint32_t quality = 90;
    bool keepMetadata = false;
    std::string user, password;
};
// Opcode 6.
struct EncodeRequest {
    std::string format;  // an extension name: "jpg", "png", "bmp"
    uint32_t quality = 90;
    bool keepMetadata = false;
};

std::vector<uint8_t> EncodeLoadFile(const LoadFileRequest& r);
LoadFileRequest DecodeLoadFile(const uint8_t* body);
std::vector<uint8_t> EncodeSaveFile(const SaveFileRequest& r);
SaveFileRequest DecodeSaveFile(const uint8_t* body);
std::vector<uint8_t> EncodeEncode(const EncodeRequest& r);
EncodeRequest DecodeEncode(const uint8_t* body);

// True when the text fits a fixed field of `units` UTF-16 units with its NUL.
// Paths that do not fit are refused rather than cut, so a cut path can never
// name another file.
bool FitsField(const std::string& text, size_t units);

// Replies.
struct SizeReply {
    uint32_t status = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};
std::vector<uint8_t> EncodeStatusReply(uint32_t status);
std::vector<uint8_t> EncodeSizeReply(const SizeReply& r);
SizeReply DecodeSizeReply(const uint8_t* bytes);
// The 8-byte head of an encode reply (status and byte count).
std::vector<uint8_t> EncodeEncodeReplyHead(uint32_t status, uint32_t count);

}  // namespace Vs5Worker
