// Number reading and clamping shared by the parameter readers.
#pragma once

#include <cstdint>
#include <string_view>

namespace Vs4Command {

// Reads a decimal integer the way a base-10 string-to-long conversion does:
// leading white space, an optional sign, the digits up to the first
// non-digit (none give 0); values beyond the 32-bit range saturate.
int32_t ParseDecimalInt(std::string_view text);

// Reads the longest decimal prefix (sign, digits, fraction, exponent) after
// leading white space; no number gives 0. Infinity, NaN and hexadecimal
// forms are not numbers here. Overflow gives an infinity.
double ParseDecimalDouble(std::string_view text);

// Narrows to float; magnitudes beyond the float range become infinities.
float NarrowToFloat(double value);

// A value above `hi` becomes `hi`, then a value below `lo` becomes `lo`.
constexpr int64_t ClampInt(int64_t value, int64_t lo, int64_t hi) {
    if (value > hi)
        value = hi;
    if (value < lo)
        value = lo;
    return value;
}
constexpr int32_t Clamp32(int64_t value, int64_t lo, int64_t hi) {
    return static_cast<int32_t>(ClampInt(value, lo, hi));
}

// As ClampInt; a value that is not a number becomes `lo`.
float ClampFloat(float value, float lo, float hi);

}  // namespace Vs4Command
