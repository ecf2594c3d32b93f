#include "worker/pipe_protocol.h"

#include <cstring>
#include <variant>

#include "platform/text.h"

namespace Vs5Worker {

using namespace Vs4Command;

namespace {

// Fixed-layout bodies, written and read by offset.
class BodyWriter {
public:
    explicit BodyWriter(size_t size) : bytes_(size, 0) {}
    BodyWriter& U32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes_[at + i] = uint8_t(v >> (8 * i));
        return *this;
    }
    BodyWriter& I32(size_t at, int32_t v) { return U32(at, static_cast<uint32_t>(v)); }
    BodyWriter& U8(size_t at, bool v) {
        bytes_[at] = v ? 1 : 0;
        return *this;
    }
    BodyWriter& F32(size_t at, float v) {
        uint32_t bits;
        memcpy(&bits, &v, 4);
        return U32(at, bits);
    }
    // The text cut to units - 1 code units (never inside a character), then NUL.
    BodyWriter& Text(size_t at, size_t units, const std::string& text) {
        std::u16string wide = Vs5Platform::Utf8ToUtf16(Vs5Platform::TruncateUtf16(text, units - 1));
        for (size_t i = 0; i < wide.size(); ++i) {
            bytes_[at + 2 * i] = uint8_t(wide[i]);
            bytes_[at + 2 * i + 1] = uint8_t(wide[i] >> 8);
        }
        return *this;
    }
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

class BodyReader {
public:
    explicit BodyReader(const uint8_t* p) : p_(p) {}
    uint32_t U32(size_t at) const {
        return uint32_t(p_[at]) | uint32_t(p_[at + 1]) << 8 | uint32_t(p_[at + 2]) << 16 |
               uint32_t(p_[at + 3]) << 24;
    }
    int32_t I32(size_t at) const { return static_cast<int32_t>(U32(at)); }
    bool U8(size_t at) const { return p_[at] != 0; }
    float F32(size_t at) const {
        uint32_t bits = U32(at);
        float v;
        memcpy(&v, &bits, 4);
        return v;
    }
    // Up to the NUL. A field without one ends where the writer puts its NUL
    // (the last unit), so a text read never holds more than a writer can send.
    std::string Text(size_t at, size_t units) const {
        std::u16string wide;
        for (size_t i = 0; i + 1 < units; ++i) {
            char16_t unit = char16_t(p_[at + 2 * i] | p_[at + 2 * i + 1] << 8);
            if (unit == 0)
                break;
            wide.push_back(unit);
        }
        return Vs5Platform::Utf16ToUtf8(wide);
    }

private:
    const uint8_t* p_;
};

constexpr size_t kTextFontUnits = 128;
constexpr size_t kTextUnits = 1024;
constexpr size_t kAlignUnits = 16;
constexpr size_t kFormatUnits = 12;

Message Empty(uint32_t opcode) {
    return {opcode, {}};
}

// One encoder per operation value, the layouts written out field by field.
struct OperationEncoder {
    std::vector<Message> operator()(const ResizeOp& o) const {
        BodyWriter w(16);
        w.I32(0, o.width).I32(4, o.height).I32(8, o.itpMode).U8(12, o.noEnlarge);
        return {{kResize, w.take()}};
    }
    std::vector<Message> operator()(const FitOp& o) const {
        BodyWriter w(20);
        w.I32(0, o.width).I32(4, o.height).U8(8, o.contain).I32(12, o.itpMode).U32(16, o.bgColor);
        return {{kFit, w.take()}};
    }
    std::vector<Message> operator()(const FrameOp& o) const {
        BodyWriter w(1044);
        w.Text(0, kPathUnits, o.folder).Text(522, kPathUnits, o.name);
        return {{kFrame, w.take()}};
    }
    std::vector<Message> operator()(const MergeOp& o) const {
        BodyWriter w(608);
        w.Text(0, kPathUnits, o.path).I32(524, o.alpha).I32(528, o.x).I32(532, o.y);
        w.Text(536, kAlignUnits, o.align).Text(568, kAlignUnits, o.valign);
        w.I32(600, o.itpMode).U8(604, o.fit);
        return {{kMerge, w.take()}};
    }
    std::vector<Message> operator()(const CropOp& o) const {
        BodyWriter w(20);
        w.I32(0, o.x).I32(4, o.y).I32(8, o.width).I32(12, o.height).U32(16, o.bgColor);
        return {{kCrop, w.take()}};
    }
    std::vector<Message> operator()(const AutoCropOp& o) const {
        BodyWriter w(20);
        w.U32(0, o.bgColor).I32(4, o.left).I32(8, o.top).I32(12, o.right).I32(16, o.bottom);
        return {{kAutoCrop, w.take()}};
    }
    std::vector<Message> operator()(const RotateOp& o) const {
        BodyWriter w(8);
        w.I32(0, o.degrees).U32(4, o.bgColor);
        return {{kRotate, w.take()}};
    }
    std::vector<Message> operator()(const FlipOp& o) const {
        std::vector<Message> out;
        if (o.horizontal)
            out.push_back(Empty(kFlipHorizontal));
        if (o.vertical)
            out.push_back(Empty(kFlipVertical));
        return out;
    }
    std::vector<Message> operator()(const TextOp& o) const {
        BodyWriter w(2344);
        w.Text(0, kTextFontUnits, o.font).F32(256, o.fontSize).I32(260, o.fontStyle);
        w.I32(264, o.align).U8(268, o.rightToLeft).U8(269, o.vertical).U8(270, o.wrap);
        w.Text(272, kTextUnits, o.text);
        w.I32(2320, o.x).I32(2324, o.y).I32(2328, o.width).I32(2332, o.height);
        w.U32(2336, o.color).I32(2340, o.hint);
        return {{kText, w.take()}};
    }
    std::vector<Message> operator()(const AdjustOp& o) const {
        BodyWriter w(20);
        w.I32(0, o.contrast).I32(4, o.brightness).I32(8, o.saturation).I32(12, o.hue);
        w.I32(16, o.gamma);
        return {{kAdjust, w.take()}};
    }
    std::vector<Message> operator()(const AdjustRgbOp& o) const {
        BodyWriter w(12);
        w.I32(0, o.red).I32(4, o.green).I32(8, o.blue);
        return {{kAdjustRgb, w.take()}};
    }
    std::vector<Message> operator()(const AutoLevelOp& o) const {
        BodyWriter w(8);
        w.F32(0, o.min).F32(4, o.max);
        return {{kAutoLevel, w.take()}};
    }
    std::vector<Message> operator()(const NegativeOp&) const { return {Empty(kNegative)}; }
    std::vector<Message> operator()(const SepiaOp&) const { return {Empty(kSepia)}; }
    std::vector<Message> operator()(const GrayOp&) const { return {Empty(kGray)}; }
    std::vector<Message> operator()(const BlurOp& o) const {
        BodyWriter w(8);
        w.F32(0, o.hRadius).F32(4, o.vRadius);
        return {{kBlur, w.take()}};
    }
    std::vector<Message> operator()(const SmoothOp& o) const { return {One(kSmooth, o.weight)}; }
    std::vector<Message> operator()(const SharpenOp& o) const { return {One(kSharpen, o.weight)}; }
    std::vector<Message> operator()(const JitterOp& o) const { return {One(kJitter, o.radius)}; }
    std::vector<Message> operator()(const NoiseOp& o) const { return {One(kNoise, o.amount)}; }
    std::vector<Message> operator()(const OilPaintOp& o) const {
        return {One(kOilPaint, o.radius)};
    }
    std::vector<Message> operator()(const LayerNewOp& o) const {
        BodyWriter w(660);
        w.Text(0, kLayerNameUnits, o.name).Text(130, kPathUnits, o.path);
        w.I32(652, o.alpha).U32(656, o.bgColor);
        return {{kLayerNew, w.take()}};
    }
    std::vector<Message> operator()(const LayerCopyOp& o) const {
        BodyWriter w(264);
        w.Text(0, kLayerNameUnits, o.from).Text(130, kLayerNameUnits, o.name).I32(260, o.alpha);
        return {{kLayerCopy, w.take()}};
    }
    std::vector<Message> operator()(const LayerBlendOp& o) const {
        BodyWriter w(396);
        w.Text(0, kLayerNameUnits, o.from).Text(130, kLayerNameUnits, o.to);
        w.Text(260, kLayerNameUnits, o.method).I32(392, o.alpha);
        return {{kLayerBlend, w.take()}};
    }
    std::vector<Message> operator()(const CaptchaOp&) const { return {}; }
    std::vector<Message> operator()(const ReloadOp&) const { return {}; }

    static Message One(uint32_t opcode, int32_t value) {
        BodyWriter w(4);
        w.I32(0, value);
        return {opcode, w.take()};
    }
};

Operation DecodeGeometry(uint32_t opcode, const BodyReader& r) {
    switch (opcode) {
        case kResize:
            return ResizeOp{r.I32(0), r.I32(4), r.I32(8), r.U8(12)};
        case kFit:
            return FitOp{r.I32(0), r.I32(4), r.U8(8), r.I32(12), r.U32(16)};
        case kFrame:
            return FrameOp{r.Text(0, kPathUnits), r.Text(522, kPathUnits)};
        case kCrop:
            return CropOp{r.I32(0), r.I32(4), r.I32(8), r.I32(12), r.U32(16)};
        case kAutoCrop:
            return AutoCropOp{r.U32(0), r.I32(4), r.I32(8), r.I32(12), r.I32(16)};
        case kRotate:
            return RotateOp{r.I32(0), r.U32(4)};
        case kFlipHorizontal:
            return FlipOp{true, false};
        default:  // kFlipVertical
            return FlipOp{false, true};
    }
}

Operation DecodeMerge(const BodyReader& r) {
    MergeOp m;
    m.path = r.Text(0, kPathUnits);
    m.alpha = r.I32(524);
    m.x = r.I32(528);
    m.y = r.I32(532);
    m.align = r.Text(536, kAlignUnits);
    m.valign = r.Text(568, kAlignUnits);
    m.itpMode = r.I32(600);
    m.fit = r.U8(604);
    return m;
}

Operation DecodeText(const BodyReader& r) {
    TextOp t;
    t.font = r.Text(0, kTextFontUnits);
    t.fontSize = r.F32(256);
    t.fontStyle = r.I32(260);
    t.align = r.I32(264);
    t.rightToLeft = r.U8(268);
    t.vertical = r.U8(269);
    t.wrap = r.U8(270);
    t.text = r.Text(272, kTextUnits);
    t.x = r.I32(2320);
    t.y = r.I32(2324);
    t.width = r.I32(2328);
    t.height = r.I32(2332);
    t.color = r.U32(2336);
    t.hint = r.I32(2340);
    return t;
}

Operation DecodeLayer(uint32_t opcode, const BodyReader& r) {
    if (opcode == kLayerNew)
        return LayerNewOp{r.Text(0, kLayerNameUnits), r.Text(130, kPathUnits), r.I32(652),
                          r.U32(656)};
    if (opcode == kLayerCopy)
        return LayerCopyOp{r.Text(0, kLayerNameUnits), r.Text(130, kLayerNameUnits), r.I32(260)};
    return LayerBlendOp{r.Text(0, kLayerNameUnits), r.Text(130, kLayerNameUnits),
                        r.Text(260, kLayerNameUnits), r.I32(392)};
}

Operation DecodeTone(uint32_t opcode, const BodyReader& r) {
    switch (opcode) {
        case kAdjust:
            return AdjustOp{r.I32(0), r.I32(4), r.I32(8), r.I32(12), r.I32(16)};
        case kAdjustRgb:
            return AdjustRgbOp{r.I32(0), r.I32(4), r.I32(8)};
        case kAutoLevel:
            return AutoLevelOp{r.F32(0), r.F32(4)};
        case kNegative:
            return NegativeOp{};
        case kSepia:
            return SepiaOp{};
        case kGray:
            return GrayOp{};
        case kBlur:
            return BlurOp{r.F32(0), r.F32(4)};
        case kSmooth:
            return SmoothOp{r.I32(0)};
        case kSharpen:
            return SharpenOp{r.I32(0)};
        case kJitter:
            return JitterOp{r.I32(0)};
        case kNoise:
            return NoiseOp{r.I32(0)};
        default:  // kOilPaint
            return OilPaintOp{r.I32(0)};
    }
}

}  // namespace

std::optional<size_t> BodySize(uint32_t opcode) {
    switch (opcode) {
        case kStop:
        case kFlipHorizontal:
        case kFlipVertical:
        case kNegative:
        case kSepia:
        case kGray:
            return 0;
        case kLoadFile:
            return 1034;
        case kSaveFile:
            return 1044;
        case kEncode:
            return 32;
        case kResize:
            return 16;
        case kFit:
        case kCrop:
        case kAutoCrop:
        case kAdjust:
            return 20;
        case kFrame:
            return 1044;
        case kMerge:
            return 608;
        case kRotate:
        case kAutoLevel:
        case kBlur:
            return 8;
        case kText:
            return 2344;
        case kAdjustRgb:
            return 12;
        case kSmooth:
        case kSharpen:
        case kJitter:
        case kNoise:
        case kOilPaint:
            return 4;
        case kLayerNew:
            return 660;
        case kLayerCopy:
            return 264;
        case kLayerBlend:
            return 396;
        default:
            return std::nullopt;  // opcode 3 and unknown opcodes
    }
}

ReplyKind ReplyOf(uint32_t opcode) {
    switch (opcode) {
        case kStop:
            return ReplyKind::kNone;
        case kLoadFile:
        case kLoadBytes:
        case kResize:
        case kFit:
            return ReplyKind::kSize;
        case kEncode:
            return ReplyKind::kEncoded;
        default:
            return ReplyKind::kStatus;
    }
}

bool CarriesLayer(uint32_t opcode) {
    return opcode >= kResize && opcode <= kOilPaint;
}

std::vector<uint8_t> EncodeHeader(uint32_t opcode, const std::string& layer) {
    BodyWriter w(kHeaderSize);
    w.U32(0, opcode).Text(4, kLayerNameUnits, CarriesLayer(opcode) ? layer : std::string());
    return w.take();
}

Header DecodeHeader(const uint8_t* bytes) {
    BodyReader r(bytes);
    return {r.U32(0), r.Text(4, kLayerNameUnits)};
}

std::vector<Message> EncodeOperation(const Operation& op) {
    return std::visit(OperationEncoder{}, op);
}

std::optional<Operation> DecodeOperation(uint32_t opcode, const uint8_t* body) {
    BodyReader r(body);
    if ((opcode >= kResize && opcode <= kFlipVertical) && opcode != kMerge && opcode != kText)
        return DecodeGeometry(opcode, r);
    if (opcode == kMerge)
        return DecodeMerge(r);
    if (opcode == kText)
        return DecodeText(r);
    if ((opcode >= kAdjust && opcode <= kSepia) || (opcode >= kBlur && opcode <= kOilPaint))
        return DecodeTone(opcode, r);
    if (opcode >= kLayerNew && opcode <= kLayerBlend)
        return DecodeLayer(opcode, r);
    return std::nullopt;
}

bool FitsField(const std::string& text, size_t units) {
    return Vs5Platform::Utf16Length(text) < units;
}

std::vector<uint8_t> EncodeLoadFile(const LoadFileRequest& r) {
    BodyWriter w(1034);
    w.Text(0, kPathUnits, r.path).Text(522, kAccountUnits, r.user);
    w.Text(778, kAccountUnits, r.password);
    return w.take();
}

LoadFileRequest DecodeLoadFile(const uint8_t* body) {
    BodyReader r(body);
    return {r.Text(0, kPathUnits), r.Text(522, kAccountUnits), r.Text(778, kAccountUnits)};
}

std::vector<uint8_t> EncodeSaveFile(const SaveFileRequest& r) {
    BodyWriter w(1044);
    w.Text(0, kPathUnits, r.path).U32(524, r.quality).U32(528, r.keepMetadata ? 1 : 0);
    w.Text(532, kAccountUnits, r.user).Text(788, kAccountUnits, r.password);
    return w.take();
}

SaveFileRequest DecodeSaveFile(const uint8_t* body) {
    BodyReader r(body);
    return {r.Text(0, kPathUnits), r.U32(524), r.U32(528) != 0, r.Text(532, kAccountUnits),
            r.Text(788, kAccountUnits)};
}

std::vector<uint8_t> EncodeEncode(const EncodeRequest& r) {
    BodyWriter w(32);
    w.Text(0, kFormatUnits, r.format).U32(24, r.quality).U32(28, r.keepMetadata ? 1 : 0);
    return w.take();
}

EncodeRequest DecodeEncode(const uint8_t* body) {
    BodyReader r(body);
    return {r.Text(0, kFormatUnits), r.U32(24), r.U32(28) != 0};
}

std::vector<uint8_t> EncodeStatusReply(uint32_t status) {
    return BodyWriter(4).U32(0, status).take();
}

std::vector<uint8_t> EncodeSizeReply(const SizeReply& r) {
    return BodyWriter(12).U32(0, r.status).U32(4, r.width).U32(8, r.height).take();
}

SizeReply DecodeSizeReply(const uint8_t* bytes) {
    BodyReader r(bytes);
    return {r.U32(0), r.U32(4), r.U32(8)};
}

std::vector<uint8_t> EncodeEncodeReplyHead(uint32_t status, uint32_t count) {
    return BodyWriter(8).U32(0, status).U32(4, count).take();
}

}  // namespace Vs5Worker
