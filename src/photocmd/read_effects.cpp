// Readers of the operations that change pixels in place: text, colour
// adjustments, filters, the verification-code text and the reload.
#include "photocmd/number_text.h"
#include "photocmd/param_readers.h"
#include "photocmd/read_ops.h"

namespace Vs4Command {

namespace {

float ReadFontSize(const ReaderInput& in) {
    return ClampFloat(GetFloat(in.params, "fontsize", 12.0f), 2.0f, 1000.0f);
}

int32_t ReadClampedInt(const ReaderInput& in, const char* key, int32_t def, int32_t lo,
                       int32_t hi) {
    return Clamp32(GetInt(in.params, key, def), lo, hi);
}

}  // namespace

int ReadText(const ReaderInput& in, Operation& op) {
    const ParamMap& p = in.params;
    bool utf8 = GetBool(p, "utf8", false);
    TextOp t;
    t.font = GetText(p, "font", utf8);
    t.fontSize = ReadFontSize(in);
    t.fontStyle = ReadClampedInt(in, "fontstyle", 0, 0, 15);
    t.align = ReadClampedInt(in, "align", 0, 0, 2);
    t.rightToLeft = GetBool(p, "rightleft", false);
    t.vertical = GetBool(p, "vertical", false);
    t.wrap = GetBool(p, "wrap", false);
    t.text = GetText(p, "text", utf8);
    t.x = ReadClampedInt(in, "x", 0, 0, in.settings.maxResizeWidth);
    t.y = ReadClampedInt(in, "y", 0, 0, in.settings.maxResizeHeight);
    t.width = ReadWidth(in);
    t.height = ReadHeight(in);
    t.color = GetColor(p, "color", 0xFFFFFFFF);
    t.hint = ReadClampedInt(in, "hint", 5, 0, 5);
    op = std::move(t);
    return 0;
}

int ReadAdjust(const ReaderInput& in, Operation& op) {
    const ParamMap& p = in.params;
    op = AdjustOp{GetInt(p, "contrast", 0), GetInt(p, "brightness", 0), GetInt(p, "saturation", 0),
                  GetInt(p, "hue", 0), GetInt(p, "gamma", 0)};
    return 0;
}

int ReadAdjustRgb(const ReaderInput& in, Operation& op) {
    AdjustRgbOp a{GetInt(in.params, "red", 0), GetInt(in.params, "green", 0),
                  GetInt(in.params, "blue", 0)};
    // The worker takes the percentages as they are; the engine call wants
    // them within -100..100.
    if (IsInProcess(in.runner)) {
        a.red = Clamp32(a.red, -100, 100);
        a.green = Clamp32(a.green, -100, 100);
        a.blue = Clamp32(a.blue, -100, 100);
    }
    op = a;
    return 0;
}

int ReadAutoLevel(const ReaderInput& in, Operation& op) {
    op = AutoLevelOp{GetFloat(in.params, "min", 0.0f), GetFloat(in.params, "max", 1.0f)};
    return 0;
}

int ReadNegative(const ReaderInput&, Operation& op) {
    op = NegativeOp{};
    return 0;
}

int ReadSepia(const ReaderInput&, Operation& op) {
    op = SepiaOp{};
    return 0;
}

int ReadGray(const ReaderInput&, Operation& op) {
    op = GrayOp{};
    return 0;
}

int ReadBlur(const ReaderInput& in, Operation& op) {
    op = BlurOp{ClampFloat(GetFloat(in.params, "hradius", 5.0f), 1.0f, 256.0f),
                ClampFloat(GetFloat(in.params, "vradius", 5.0f), 1.0f, 256.0f)};
    return 0;
}

int ReadSmooth(const ReaderInput& in, Operation& op) {
    op = SmoothOp{ReadClampedInt(in, "weight", 1, 1, 3)};
    return 0;
}

int ReadSharpen(const ReaderInput& in, Operation& op) {
    op = SharpenOp{ReadClampedInt(in, "weight", 1, 1, 5)};
    return 0;
}

int ReadJitter(const ReaderInput& in, Operation& op) {
    op = JitterOp{ReadClampedInt(in, "radius", 8, 2, 32)};
    return 0;
}

int ReadNoise(const ReaderInput& in, Operation& op) {
    op = NoiseOp{ReadClampedInt(in, "amount", 20, 0, 300)};
    return 0;
}

int ReadOilPaint(const ReaderInput& in, Operation& op) {
    op = OilPaintOp{ReadClampedInt(in, "radius", 3, 2, 8)};
    return 0;
}

int ReadCaptcha(const ReaderInput& in, Operation& op) {
    CaptchaOp c;
    c.font = GetText(in.params, "font", true);
    c.fontSize = ReadFontSize(in);
    c.fontStyle = ReadClampedInt(in, "fontstyle", 0, 0, 15);
    c.text = GetText(in.params, "text", true);
    c.leftMargin = GetInt(in.params, "leftmargin", 0);
    c.flag = GetInt(in.params, "flag", 0);
    op = std::move(c);
    return 0;
}

int ReadReload(const ReaderInput&, Operation& op) {
    op = ReloadOp{};
    return 0;
}

}  // namespace Vs4Command
