#include "photocmd/number_text.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace Vs4Command {

namespace {

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Skips leading white space and one sign; returns true for "-".
bool SkipSpaceAndSign(std::string_view text, size_t& i) {
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return negative;
}

}  // namespace

int32_t ParseDecimalInt(std::string_view text) {
    size_t i = 0;
    bool negative = SkipSpaceAndSign(text, i);
    int64_t magnitude = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit)
            magnitude = kLimit;  // saturated; later digits cannot lower it
    }
    int64_t value = negative ? -magnitude : magnitude;
    return Clamp32(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

double ParseDecimalDouble(std::string_view text) {
    size_t i = 0;
    bool negative = SkipSpaceAndSign(text, i);
    // Only a digit, or a point followed by a digit, starts a decimal number;
    // this keeps out "inf", "nan" and the hexadecimal forms.
    bool starts =
        i < text.size() &&
        (IsDigit(text[i]) || (text[i] == '.' && i + 1 < text.size() && IsDigit(text[i + 1])));
    if (!starts)
        return 0.0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    double value = 0.0;
    auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // The number is well formed but too large or too small for a double:
        // let the C library say which, in the "C" locale.
        static locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        std::string copy(first, end);
        value = cLocale ? strtod_l(copy.c_str(), nullptr, cLocale) : 0.0;
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

float NarrowToFloat(double value) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax)
        return std::numeric_limits<float>::infinity();
    if (value < -kMax)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

float ClampFloat(float value, float lo, float hi) {
    if (std::isnan(value))
        return lo;
    if (value > hi)
        value = hi;
    if (value < lo)
        value = lo;
    return value;
}

}  // namespace Vs4Command
