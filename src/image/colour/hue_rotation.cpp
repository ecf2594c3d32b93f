#include "image/colour/hue_rotation.h"

#include <cmath>

namespace Vs4Image {

namespace {

constexpr float kLumR = 0.3086f;
constexpr float kLumG = 0.6094f;
constexpr float kLumB = 0.082f;

float Radians(float degrees) {
    static const float perDegree = 4.0f * std::atan(1.0f) / 180.0f;
    return degrees * perDegree;
}

// Rotation by `degrees` in the plane of components i and j.
ColourMatrix Rotation(float degrees, int i, int j) {
    const float c = std::cos(Radians(degrees));
    const float s = std::sin(Radians(degrees));
    ColourMatrix r = ColourMatrix::Identity();
    r.m[i][i] = c;
    r.m[j][j] = c;
    r.m[i][j] = s;
    r.m[j][i] = -s;
    return r;
}

// Blue gains zx * red + zy * green.
ColourMatrix Shear(float zx, float zy) {
    ColourMatrix s = ColourMatrix::Identity();
    s.m[0][2] = zx;
    s.m[1][2] = zy;
    return s;
}

// P turns the grey axis onto the blue axis and shears the luminance plane
// flat; Q undoes it. Both depend on nothing, so they are built once.
struct HueFrame {
    ColourMatrix toFrame;    // P
    ColourMatrix fromFrame;  // Q

    HueFrame() {
        const ColourMatrix turn = Then(Rotation(45.0f, 1, 2), Rotation(-35.0f, 2, 0));
        const float lum[5] = {kLumR, kLumG, kLumB, 1.0f, 0.0f};
        float l[3];
        for (int j = 0; j < 3; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 5; ++k) sum += lum[k] * turn.m[k][j];
            l[j] = sum;
        }
        const float zx = l[0] / l[2];
        const float zy = l[1] / l[2];
        toFrame = Then(turn, Shear(zx, zy));
        fromFrame = Then(Then(Shear(-zx, -zy), Rotation(35.0f, 2, 0)), Rotation(-45.0f, 1, 2));
    }
};

// A function-local static is built exactly once even when several threads
// adjust images at the same time.
const HueFrame& Frame() {
    static const HueFrame frame;
    return frame;
}

}  // namespace

ColourMatrix HueRotation(int hue) {
    const HueFrame& f = Frame();
    return Then(Then(f.toFrame, Rotation(static_cast<float>(hue) * 1.8f, 0, 1)), f.fromFrame);
}

}  // namespace Vs4Image
