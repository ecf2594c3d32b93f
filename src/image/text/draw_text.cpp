// Text through Pango on the graphics layer's Cairo context. Each thread uses
// its own Pango font map (pangocairo keeps the default map per thread), so
// several threads may draw text at once; the font catalogue does its own
// locking.
#include "image/text/draw_text.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "image/text/font_family.h"

namespace Vs4Image {

namespace {

// Layout coordinates beyond this are refused: Pango counts in 1/1024 pixel
// in 32-bit integers.
constexpr float kMaxCoordinate = 1e6f;

// A font size the text library can hold: positive, and at most the
// coordinate limit in pixels (Pango keeps sizes in 1/1024 pixel in 32-bit
// integers, so far larger sizes would wrap).
bool UsableSize(float points) {
    return points > 0 && std::isfinite(points) && points * kPixelsPerPoint <= kMaxCoordinate;
}

// Font options per rendering method. Every field is set explicitly so that
// the user's fontconfig rendering settings cannot change the result.
cairo_font_options_t* FontOptionsFor(uint32_t hint) {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_antialias_t antialias = CAIRO_ANTIALIAS_GRAY;
    bool gridFit = false;
    switch (hint) {
        case kTextMonoGridFit:
            antialias = CAIRO_ANTIALIAS_NONE;
            gridFit = true;
            break;
        case kTextMono:
            antialias = CAIRO_ANTIALIAS_NONE;
            break;
        case kTextAntiAliasGridFit:
            gridFit = true;
            break;
        case kTextSubpixelGridFit:
            antialias = CAIRO_ANTIALIAS_SUBPIXEL;
            gridFit = true;
            break;
        default:  // the outline path and plain anti-aliasing
            break;
    }
    cairo_font_options_set_antialias(options, antialias);
    cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_RGB);
    cairo_font_options_set_hint_style(options,
                                      gridFit ? CAIRO_HINT_STYLE_FULL : CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options,
                                        gridFit ? CAIRO_HINT_METRICS_ON : CAIRO_HINT_METRICS_OFF);
    return options;
}

PangoFontDescription* FontDescription(const ResolvedFont& font, float sizePixels) {
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, font.family.c_str());
    pango_font_description_set_weight(
        desc, (font.style & kFontBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(
        desc, (font.style & kFontItalic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(desc, double(sizePixels) * PANGO_SCALE);
    return desc;
}

void SetDecorations(PangoLayout* layout, int32_t style) {
    PangoAttrList* attrs = pango_attr_list_new();
    if (style & kFontUnderline)
        pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (style & kFontStrikeout)
        pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
}

// Near is the start of the reading order: the right side for right-to-left
// text (Pango swaps left and right only for directions it detects itself).
PangoAlignment PangoAlignmentFor(int32_t alignment, bool rightToLeft) {
    if (alignment == 1)
        return PANGO_ALIGN_CENTER;
    const bool far = alignment == 2;
    return far != rightToLeft ? PANGO_ALIGN_RIGHT : PANGO_ALIGN_LEFT;
}

// Where along the line direction an unwrapped block starts, as a fraction of
// the free room: near is the start of the reading order.
double AlignmentFraction(int32_t alignment, bool rightToLeft) {
    if (alignment == 1)
        return 0.5;
    const bool far = alignment == 2;
    return far != rightToLeft ? 1.0 : 0.0;
}

// Clips to the layout rectangle; a zero side means no limit that way.
void ClipToRect(cairo_t* cr, const RectF& rect) {
    if (rect.width <= 0 && rect.height <= 0)
        return;
    constexpr double kFar = 1e7;
    const double x = rect.width > 0 ? rect.x : -kFar;
    const double y = rect.height > 0 ? rect.y : -kFar;
    const double w = rect.width > 0 ? rect.width : 2 * kFar;
    const double h = rect.height > 0 ? rect.height : 2 * kFar;
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
}

PangoLayout* CreateLayout(cairo_t* cr, const TextStyle& style, const std::string& text,
                          uint32_t hint) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoContext* context = pango_layout_get_context(layout);
    cairo_font_options_t* options = FontOptionsFor(hint);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    const bool gridFit =
        hint == kTextMonoGridFit || hint == kTextAntiAliasGridFit || hint == kTextSubpixelGridFit;
    pango_context_set_round_glyph_positions(context, gridFit);
    pango_context_set_base_dir(context,
                               style.rightToLeft ? PANGO_DIRECTION_RTL : PANGO_DIRECTION_LTR);
    pango_context_set_base_gravity(context,
                                   style.vertical ? PANGO_GRAVITY_EAST : PANGO_GRAVITY_SOUTH);
    pango_layout_set_auto_dir(layout, FALSE);
    pango_layout_context_changed(layout);

    const ResolvedFont font = ResolveFont(SystemFonts(), style.fontName, style.style);
    PangoFontDescription* desc = FontDescription(font, style.size * kPixelsPerPoint);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    // Decorations follow the resolved style: a face that fell back to bold
    // is drawn bold alone, without the requested underline or strikeout.
    SetDecorations(layout, font.style);

    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    pango_layout_set_text(layout, valid, -1);
    g_free(valid);
    pango_layout_set_alignment(layout, PangoAlignmentFor(style.alignment, style.rightToLeft));
    return layout;
}

// Positions the layout: wraps to the rectangle when asked, otherwise places
// the unwrapped block by the alignment. Vertical text is set in a frame
// turned a quarter clockwise, whose lines advance right to left.
void PlaceLayout(cairo_t* cr, PangoLayout* layout, const TextStyle& style, const RectF& rect) {
    const double along = style.vertical ? rect.height : rect.width;
    const double across = style.vertical ? rect.width : rect.height;
    const bool wrapped = style.wrap && along > 0;
    if (wrapped) {
        pango_layout_set_width(layout, static_cast<int>(along * PANGO_SCALE));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const double logicalX = double(logical.x) / PANGO_SCALE;
    const double logicalW = double(logical.width) / PANGO_SCALE;
    const double logicalH = double(logical.height) / PANGO_SCALE;
    double offset = 0;
    if (!wrapped)
        offset =
            AlignmentFraction(style.alignment, style.rightToLeft) * (along - logicalW) - logicalX;
    if (style.vertical) {
        const double depth = across > 0 ? across : logicalH;
        cairo_translate(cr, rect.x + depth, rect.y + offset);
        cairo_rotate(cr, M_PI / 2);
    } else {
        cairo_translate(cr, rect.x + offset, rect.y);
    }
    pango_cairo_update_layout(cr, layout);
}

void DrawLayout(cairo_t* cr, const TextStyle& style, const std::string& text, const RectF& rect,
                Argb colour, uint32_t hint) {
    cairo_save(cr);
    ClipToRect(cr, rect);
    PangoLayout* layout = CreateLayout(cr, style, text, hint);
    PlaceLayout(cr, layout, style, rect);

    cairo_set_source_rgba(cr, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                          (colour & 0xFF) / 255.0, ((colour >> 24) & 0xFF) / 255.0);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    if (hint == kTextOutlinePath) {
        cairo_new_path(cr);
        cairo_move_to(cr, 0, 0);
        pango_cairo_layout_path(cr, layout);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_fill(cr);
    } else {
        const bool mono = hint == kTextMonoGridFit || hint == kTextMono;
        // Underline and strikeout bars follow the glyphs' anti-aliasing.
        cairo_set_antialias(cr, mono ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY);
        cairo_move_to(cr, 0, 0);
        pango_cairo_show_layout(cr, layout);
    }
    g_object_unref(layout);
    cairo_restore(cr);
}

}  // namespace

void DrawText(Graphics& graphics, const TextStyle& style, const std::string& text,
              const RectF& rect, Argb colour, uint32_t hint) {
    if (graphics.status() != Ok || text.empty())
        return;
    if (!UsableSize(style.size))
        return;
    for (float v : {rect.x, rect.y, rect.width, rect.height})
        if (!std::isfinite(v) || std::fabs(v) > kMaxCoordinate)
            return;
    if (hint > kTextSubpixelGridFit)
        hint = kTextSubpixelGridFit;
    // Laid out afresh on each tile of the surface: the same layout at the
    // same place gives the same pixels where tiles meet.
    graphics.ForEachContext([&](cairo_t* cr) { DrawLayout(cr, style, text, rect, colour, hint); });
}

TextExtents MeasureText(const TextStyle& style, const std::string& text, uint32_t hint) {
    TextExtents out;
    if (text.empty() || !UsableSize(style.size))
        return out;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    PangoLayout* layout =
        CreateLayout(cr, style, text, hint > kTextSubpixelGridFit ? kTextSubpixelGridFit : hint);
    PangoRectangle ink;
    PangoRectangle logical;
    pango_layout_get_extents(layout, &ink, &logical);
    out.inkX = float(ink.x) / PANGO_SCALE;
    out.inkY = float(ink.y) / PANGO_SCALE;
    out.inkWidth = float(ink.width) / PANGO_SCALE;
    out.inkHeight = float(ink.height) / PANGO_SCALE;
    out.width = float(logical.width) / PANGO_SCALE;
    out.height = float(logical.height) / PANGO_SCALE;
    out.missingGlyphs = pango_layout_get_unknown_glyphs_count(layout);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return out;
}

void DrawText(CBaseImage& image, const TextStyle& style, const std::string& text, const RectF& rect,
              Argb colour, uint32_t hint) {
    Bitmap* bitmap = image.bitmap();
    if (!bitmap)
        return;
    for (float v : {rect.x, rect.y, rect.width, rect.height})
        if (!std::isfinite(v))
            return;
    if (rect.width > 0 && rect.height > 0) {
        // Boxed text is clipped to its box, so only the box's pixels are
        // opened for drawing: cheaper on large images.
        auto pixel = [](double v, int limit) {
            return static_cast<int>(std::clamp(v, -1.0, static_cast<double>(limit) + 1));
        };
        const int x0 = pixel(std::floor(rect.x), bitmap->width());
        const int y0 = pixel(std::floor(rect.y), bitmap->height());
        const int x1 = pixel(std::ceil(double(rect.x) + rect.width), bitmap->width());
        const int y1 = pixel(std::ceil(double(rect.y) + rect.height), bitmap->height());
        Graphics graphics(*bitmap, x0, y0, x1 - x0, y1 - y0);
        DrawText(graphics, style, text, rect, colour, hint);
        return;
    }
    Graphics graphics(*bitmap);
    DrawText(graphics, style, text, rect, colour, hint);
}

}  // namespace Vs4Image
