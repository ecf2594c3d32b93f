#include "image/text/captcha.h"

#include <cmath>

#include "image/blend/source_over.h"
#include "image/filters/noise.h"
#include "image/graphics.h"
#include "image/random.h"
#include "image/text/draw_text.h"

namespace Vs4Image {

namespace {

constexpr int kNoiseAmount = 55;
constexpr int kLineCount = 3;
constexpr float kLineWidth = 2.0f;

// One cell: the character centred in a transparent square, turned when asked.
void DrawCell(CBaseImage& target, const CaptchaOptions& options, const std::string& character,
              int cell, int64_t x) {
    // A cell that cannot reach the image (turned, it is at most twice as
    // wide as it was) takes its random numbers and draws nothing, so a long
    // text costs only the cells that show.
    if (x >= target.width() || x + 2 * int64_t(cell) <= 0) {
        for (int i = 0; i < 3; ++i)
            ThreadRandom();
        if (options.flags & kCaptchaRotate)
            ThreadRandom();
        return;
    }
    CBaseImage glyph;
    if (glyph.CreateBlank(cell, cell, 0) != Ok)
        return;
    const int blue = ThreadRandom() % 190;
    const int green = ThreadRandom() % 190;
    const int red = ThreadRandom() % 190;
    const Argb colour = MakeArgb(255, red, green, blue);

    TextStyle style;
    style.fontName = options.fontName;
    style.size = options.size;
    style.style = options.style;
    style.alignment = 1;
    DrawText(glyph, style, character, RectF{0, 0, float(cell), float(cell)}, colour,
             kTextOutlinePath);

    if (options.flags & kCaptchaRotate) {
        const int angle = ThreadRandom() % 100 - 50;
        if (angle != 0)
            glyph.Rotate(angle, 0);
    }
    // A cell wholly outside the image still takes its random numbers, so the
    // lines and the noise after it stay the same.
    if (x > -int64_t(glyph.width()) && x < target.width())
        CompositeOver(target.view(), glyph.view(), static_cast<int>(x), 0, 255);
}

void DrawLines(CBaseImage& target, int cell, int64_t count, int64_t leftMargin) {
    Bitmap* bitmap = target.bitmap();
    if (!bitmap)
        return;
    Graphics graphics(*bitmap);
    for (int i = 0; i < kLineCount; ++i) {
        const int64_t x1 = leftMargin + ThreadRandom() % cell;
        const int y1 = ThreadRandom() % cell;
        const int64_t x2 = count * cell - ThreadRandom() % cell + leftMargin;
        const int y2 = ThreadRandom() % cell;
        const int blue = ThreadRandom() % 210;
        const int green = ThreadRandom() % 210;
        const int red = ThreadRandom() % 210;
        const int alpha = 255 - ThreadRandom() % 100;
        graphics.DrawLine(float(x1), float(y1), float(x2), float(y2),
                          MakeArgb(alpha, red, green, blue), kLineWidth);
    }
}

}  // namespace

int CaptchaCellSize(float size) {
    const double s = size;
    const double cell = std::trunc(s * 1.3333 + s * 0.15);
    return cell >= 1 && cell <= 65535 ? static_cast<int>(cell) : 0;
}

std::vector<std::string> SplitCharacters(const std::string& text) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        if (lead >= 0xF0 && lead < 0xF8)
            length = 4;
        else if (lead >= 0xE0)
            length = lead < 0xF0 ? 3 : 1;
        else if (lead >= 0xC0)
            length = 2;
        size_t n = 1;
        while (n < length && i + n < text.size() &&
               (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
            ++n;
        if (n != length)
            n = 1;  // a broken sequence: its first byte stands alone
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

Status DrawCaptcha(CBaseImage& image, const CaptchaOptions& options) {
    if (!image.HasBitmap())
        return WrongState;
    const int cell = CaptchaCellSize(options.size);
    if (cell == 0)
        return Ok;
    const std::vector<std::string> characters = SplitCharacters(options.text);
    const int64_t count = static_cast<int64_t>(characters.size());
    for (int64_t i = 0; i < count; ++i)
        DrawCell(image, options, characters[i], cell, options.leftMargin + i * cell);
    if (options.flags & kCaptchaLines)
        DrawLines(image, cell, count, options.leftMargin);
    if (options.flags & kCaptchaNoise)
        Noise(image, kNoiseAmount);
    return Ok;
}

}  // namespace Vs4Image
