#include "image/blend/blend_layer.h"

#include <algorithm>
#include <cstring>

#include "image/blend/hsv_modes.h"
#include "image/blend/separable_modes.h"
#include "image/blend/source_over.h"

namespace Vs4Image {

namespace {

// A mode turns base and layer colours (red, green, blue) into mode colours.
using PixelMode = void (*)(const int base[3], const int layer[3], int out[3]);

template <int (*F)(int, int)>
void Separable(const int base[3], const int layer[3], int out[3]) {
    for (int c = 0; c < 3; ++c) out[c] = F(base[c], layer[c]);
}

uint8_t Clamp255(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// Mixes the mode colours into the base pixel p (bytes blue, green, red,
// alpha) with the layer alpha scaled by the opacity.
void Compose(uint8_t* p, int layerAlpha, const int mode[3], int opacity) {
    const int baseAlpha = p[3];
    const int a1 = layerAlpha * opacity / 255;
    const int t = (255 - baseAlpha) * a1 + 128;
    const int alpha = baseAlpha + (((t >> 8) + t) >> 8);
    if (a1 == alpha) {
        for (int c = 0; c < 3; ++c) p[2 - c] = Clamp255(mode[c]);
    } else {
        const float f = static_cast<float>(a1) / static_cast<float>(alpha);
        for (int c = 0; c < 3; ++c) {
            const float mixed = static_cast<float>(p[2 - c]) * (1.0f - f) +
                                static_cast<float>(mode[c]) * f + 0.0001f;
            p[2 - c] = Clamp255(static_cast<int>(mixed));
        }
    }
    p[3] = Clamp255(alpha);
}

template <PixelMode M>
void BlendRow(uint8_t* base, const uint8_t* layer, int width, int opacity) {
    for (int x = 0; x < width; ++x, base += 4, layer += 4) {
        if (layer[3] == 0) continue;
        if (base[3] == 0) {
            memcpy(base, layer, 4);
            continue;
        }
        const int b[3] = {base[2], base[1], base[0]};
        const int l[3] = {layer[2], layer[1], layer[0]};
        int mode[3];
        M(b, l, mode);
        Compose(base, layer[3], mode, opacity);
    }
}

using RowFunction = void (*)(uint8_t*, const uint8_t*, int, int);

struct NamedMode {
    std::string_view name;
    RowFunction row;
};

constexpr NamedMode kModes[] = {
    {"darken", BlendRow<Separable<BlendModes::Darken>>},
    {"multiply", BlendRow<Separable<BlendModes::Multiply>>},
    {"burn", BlendRow<Separable<BlendModes::Burn>>},
    {"lighten", BlendRow<Separable<BlendModes::Lighten>>},
    {"screen", BlendRow<Separable<BlendModes::Screen>>},
    {"dodge", BlendRow<Separable<BlendModes::Dodge>>},
    {"overlay", BlendRow<Separable<BlendModes::Overlay>>},
    {"softlight", BlendRow<Separable<BlendModes::SoftLight>>},
    {"hardlight", BlendRow<Separable<BlendModes::HardLight>>},
    {"vividlight", BlendRow<Separable<BlendModes::VividLight>>},
    {"linearlight", BlendRow<Separable<BlendModes::LinearLight>>},
    {"pinlight", BlendRow<Separable<BlendModes::PinLight>>},
    {"difference", BlendRow<Separable<BlendModes::Difference>>},
    {"exclusion", BlendRow<Separable<BlendModes::Exclusion>>},
    {"hue", BlendRow<BlendModes::Hue>},
    {"saturation", BlendRow<BlendModes::Saturation>},
    {"color", BlendRow<BlendModes::Color>},
    {"value", BlendRow<BlendModes::Value>},
};

RowFunction FindMode(std::string_view method) {
    for (const NamedMode& m : kModes) {
        if (m.name == method) return m.row;
    }
    return nullptr;
}

}  // namespace

bool IsBlendMode(std::string_view method) { return FindMode(method) != nullptr; }

Status BlendLayer(CBaseImage& base, const CBaseImage& layer, std::string_view method,
                  uint32_t opacity) {
    const PixelView b = base.view();
    const PixelView l = layer.view();
    if (b.empty() || l.empty()) return WrongState;
    const int o = static_cast<int>(std::min<uint32_t>(opacity, 255));
    const RowFunction row = FindMode(method);
    if (!row) {
        CompositeOver(b, l, 0, 0, static_cast<uint8_t>(o));
        return Ok;
    }
    if (l.width < b.width || l.height < b.height) return InvalidParameter;
    for (int y = 0; y < b.height; ++y) row(b.row(y), l.row(y), b.width, o);
    return Ok;
}

}  // namespace Vs4Image
