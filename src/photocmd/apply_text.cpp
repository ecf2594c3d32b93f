// Applying text and verification-code text.
#include "image/text/captcha.h"
#include "image/text/draw_text.h"
#include "photocmd/apply_ops.h"

namespace Vs4Command {

Status Apply(const TextOp& op, CBaseImage& target, ApplyContext&) {
    Vs4Image::TextStyle style;
    style.fontName = op.font;
    style.size = op.fontSize;
    style.style = op.fontStyle;
    style.alignment = op.align;
    style.wrap = op.wrap;
    style.vertical = op.vertical;
    style.rightToLeft = op.rightToLeft;
    Vs4Image::RectF rect{static_cast<float>(op.x), static_cast<float>(op.y),
                         static_cast<float>(op.width), static_cast<float>(op.height)};
    // Text that cannot be drawn is left out; the operation itself never fails.
    Vs4Image::DrawText(target, style, op.text, rect, op.color, static_cast<uint32_t>(op.hint));
    return Vs4Image::Ok;
}

Status Apply(const CaptchaOp& op, CBaseImage& target, ApplyContext&) {
    Vs4Image::CaptchaOptions options;
    options.fontName = op.font;
    options.size = op.fontSize;
    options.style = op.fontStyle;
    options.text = op.text;
    options.leftMargin = op.leftMargin;
    options.flags = op.flag;
    return Vs4Image::DrawCaptcha(target, options);
}

}  // namespace Vs4Command
