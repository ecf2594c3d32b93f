// The operations of the photo-command language as typed values. A command
// line is read once into one of these (operation_reader.h) with every
// default, clamp and derived number already applied; an executor then only
// carries the value out: the in-process runner calls the image engine with
// the fields, and the worker link writes them into the worker's message for
// that step. Colours are ARGB; sizes and positions are pixels.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace Vs4Command {

// Resize to width x height; a 0 side follows from the other (thumb, thumbnail,
// resize). Worker step 10.
struct ResizeOp {
    int32_t width = 0;
    int32_t height = 0;
    int32_t itpMode = 7;  // interpolation mode 0..7
    bool noEnlarge = false;
};

// Fit into a width x height box on bgColor (thumb with fit=true). `contain`
// (ws) keeps the whole image inside the box; false covers the box. Step 11.
struct FitOp {
    int32_t width = 0;
    int32_t height = 0;
    bool contain = true;
    int32_t itpMode = 7;
    uint32_t bgColor = 0xFFFFFFFF;
};

// Decorate with the frame template `name` of `folder`. Step 12.
struct FrameOp {
    std::string folder;
    std::string name;
};

// Draw another image onto the target. Step 13 (file sources only).
struct MergeOp {
    enum class Source { File, NamedImage };
    Source source = Source::File;
    std::string path;       // File: the overlay's full path; empty makes the load fail
    std::string imageName;  // NamedImage: the connection's image of this exact name
    int32_t alpha = 255;
    int32_t x = 0;
    int32_t y = 0;
    std::string align;   // "left", "right", "center" (any case) or anything else
    std::string valign;  // "top", "bottom", "middle" (any case) or anything else
    int32_t itpMode = 7;
    bool fit = false;  // stretch over the whole target instead of placing
};

// Cut (x, y, width, height); parts outside the image become bgColor. Step 14.
struct CropOp {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bgColor = 0xFFFFFFFF;
};

// Remove a bgColor border, keeping the margins. Step 15.
struct AutoCropOp {
    uint32_t bgColor = 0xFFFFFFFF;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Rotate by 0..360 degrees on bgColor. Step 16.
struct RotateOp {
    int32_t degrees = 0;
    uint32_t bgColor = 0xFFFFFFFF;
};

// Mirror left-right, then top-bottom. Steps 17 and 18.
struct FlipOp {
    bool horizontal = false;
    bool vertical = false;
};

// Draw text into the rectangle (x, y, width, height). Step 19.
struct TextOp {
    std::string font;
    float fontSize = 12.0f;
    int32_t fontStyle = 0;  // style bits 0..15
    int32_t align = 0;      // 0..2
    bool rightToLeft = false;
    bool vertical = false;
    bool wrap = false;
    std::string text;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t color = 0xFFFFFFFF;
    int32_t hint = 5;  // text rendering hint 0..5
};

// Contrast, brightness, saturation, hue, gamma; the engine clamps. Step 40.
struct AdjustOp {
    int32_t contrast = 0;
    int32_t brightness = 0;
    int32_t saturation = 0;
    int32_t hue = 0;
    int32_t gamma = 0;
};

// Per-channel percentages. Step 41.
struct AdjustRgbOp {
    int32_t red = 0;
    int32_t green = 0;
    int32_t blue = 0;
};

struct AutoLevelOp {  // step 42
    float min = 0.0f;
    float max = 1.0f;
};

struct NegativeOp {};  // step 43
struct SepiaOp {};     // step 44
struct GrayOp {};      // step 63

struct BlurOp {  // step 60
    float hRadius = 5.0f;
    float vRadius = 5.0f;
};
struct SmoothOp {  // step 61
    int32_t weight = 1;
};
struct SharpenOp {  // step 62
    int32_t weight = 1;
};
struct JitterOp {  // step 64
    int32_t radius = 8;
};
struct NoiseOp {  // step 65
    int32_t amount = 20;
};
struct OilPaintOp {  // step 66
    int32_t radius = 3;
};

// A new layer of the background's size filled with bgColor, with the image
// at `path` (if any) stretched over it. Step 80.
struct LayerNewOp {
    std::string name;  // trimmed, lower case
    std::string path;  // empty: no image
    int32_t alpha = 255;
    uint32_t bgColor = 0;
};

// Copy layer `from` into a new layer `name`. Step 81.
struct LayerCopyOp {
    std::string from;
    std::string name;
    int32_t alpha = 255;
};

// Blend layer `from` onto layer `to` with a blend mode. Step 82.
struct LayerBlendOp {
    std::string from;
    std::string to;
    std::string method;  // lower case; an unknown mode draws normally
    int32_t alpha = 255;
};

// Distorted verification-code text (in process only).
struct CaptchaOp {
    std::string font;
    float fontSize = 12.0f;
    int32_t fontStyle = 0;
    std::string text;
    int32_t leftMargin = 0;
    int32_t flag = 0;  // 1 rotate characters, 2 noise, 4 three lines
};

// Back to the image as loaded (in process only).
struct ReloadOp {};

using Operation =
    std::variant<ResizeOp, FitOp, FrameOp, MergeOp, CropOp, AutoCropOp, RotateOp, FlipOp, TextOp,
                 AdjustOp, AdjustRgbOp, AutoLevelOp, NegativeOp, SepiaOp, GrayOp, BlurOp, SmoothOp,
                 SharpenOp, JitterOp, NoiseOp, OilPaintOp, LayerNewOp, LayerCopyOp, LayerBlendOp,
                 CaptchaOp, ReloadOp>;

}  // namespace Vs4Command
