// The separable resampler: weights are built once per call for every output
// column and row (fixed point, 14 fractional bits), then a horizontal pass
// filters the needed source rows into an intermediate buffer and a vertical
// pass filters that into the target. Colour is carried premultiplied by
// alpha with 16 bits of range (colour x alpha, alpha x 255), so transparent
// pixels weigh nothing and uniform areas come back exactly.
#include "image/resample.h"

#include "image/resample_box.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Vs4Image {

namespace {

constexpr int kWeightBits = 14;
constexpr int32_t kWeightOne = 1 << kWeightBits;
constexpr int32_t kFull = 255 * 255;  // premultiplied range of every channel

enum class Kernel { Triangle, CatmullRom };

struct KernelChoice {
    Kernel kernel;
    double radius;
    bool widen;  // spread over the shrink factor when shrinking
};

KernelChoice ChooseKernel(uint32_t mode) {
    switch (mode) {
        case 1:
        case 3:
            return {Kernel::Triangle, 1.0, false};
        case 6:
            return {Kernel::Triangle, 1.0, true};
        case 2:
        case 7:
            return {Kernel::CatmullRom, 2.0, true};
        default:  // 0 and 4
            return {Kernel::CatmullRom, 2.0, false};
    }
}

double Evaluate(Kernel kernel, double t) {
    t = std::fabs(t);
    if (kernel == Kernel::Triangle)
        return t < 1.0 ? 1.0 - t : 0.0;
    // Catmull-Rom, the cubic convolution with a = -0.5.
    if (t < 1.0)
        return (1.5 * t - 2.5) * t * t + 1.0;
    if (t < 2.0)
        return ((-0.5 * t + 2.5) * t - 4.0) * t + 2.0;
    return 0.0;
}

// Taps beyond an edge are mirrored back into 0..n-1.
int Reflect(int64_t j, int n) {
    const int64_t period = 2 * static_cast<int64_t>(n);
    int64_t m = j % period;
    if (m < 0)
        m += period;
    return static_cast<int>(m < n ? m : period - 1 - m);
}

// For every output position, `taps` source indices and weights summing to
// kWeightOne.
struct WeightTable {
    int taps = 0;
    std::vector<int32_t> index;
    std::vector<int32_t> weight;
};

bool BuildWeights(int sourceLength, int outLength, int offset, int count, KernelChoice k,
                  WeightTable& table) {
    const double scale = static_cast<double>(sourceLength) / outLength;
    const double stretch = (k.widen && scale > 1.0) ? scale : 1.0;
    const double support = k.radius * stretch;
    table.taps = static_cast<int>(std::ceil(support * 2.0)) + 1;
    try {
        table.index.assign(static_cast<size_t>(count) * table.taps, 0);
        table.weight.assign(static_cast<size_t>(count) * table.taps, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::vector<double> w(static_cast<size_t>(table.taps));
    for (int i = 0; i < count; ++i) {
        const double centre = (static_cast<double>(offset) + i + 0.5) * scale - 0.5;
        const int64_t first = static_cast<int64_t>(std::floor(centre - support)) + 1;
        double sum = 0;
        for (int t = 0; t < table.taps; ++t) {
            w[t] = Evaluate(k.kernel, (static_cast<double>(first + t) - centre) / stretch);
            sum += w[t];
        }
        int32_t* wi = &table.weight[static_cast<size_t>(i) * table.taps];
        int32_t* ii = &table.index[static_cast<size_t>(i) * table.taps];
        int32_t total = 0;
        int largest = 0;
        for (int t = 0; t < table.taps; ++t) {
            wi[t] = static_cast<int32_t>(std::lround(w[t] / (sum != 0 ? sum : 1) * kWeightOne));
            ii[t] = Reflect(first + t, sourceLength);
            total += wi[t];
            if (wi[t] > wi[largest])
                largest = t;
        }
        wi[largest] += kWeightOne - total;  // exact unity, so flat areas stay flat
    }
    return true;
}

inline int32_t ClampFull(int64_t v) {
    return static_cast<int32_t>(v < 0 ? 0 : (v > kFull ? kFull : v));
}

// One source row to premultiplied 16-bit form: B, G, R times alpha; alpha
// times 255; each value XOR `bias` (0, or 0x8000 for the signed form below).
void PremultiplyRow(const uint8_t* src, int width, uint16_t bias, uint16_t* out) {
    for (int x = 0; x < width; ++x, src += 4, out += 4) {
        const uint32_t a = src[3];
        out[0] = static_cast<uint16_t>(src[0] * a) ^ bias;
        out[1] = static_cast<uint16_t>(src[1] * a) ^ bias;
        out[2] = static_cast<uint16_t>(src[2] * a) ^ bias;
        out[3] = static_cast<uint16_t>(a * 255) ^ bias;
    }
}

void FilterRow(const uint16_t* src, const WeightTable& h, int count, uint16_t* out) {
    const int taps = h.taps;
    for (int x = 0; x < count; ++x, out += 4) {
        const int32_t* wi = &h.weight[static_cast<size_t>(x) * taps];
        const int32_t* ii = &h.index[static_cast<size_t>(x) * taps];
        int32_t acc[4] = {kWeightOne / 2, kWeightOne / 2, kWeightOne / 2, kWeightOne / 2};
        for (int t = 0; t < taps; ++t) {
            const uint16_t* p = src + ii[t] * 4;
            const int32_t w = wi[t];
            acc[0] += w * p[0];
            acc[1] += w * p[1];
            acc[2] += w * p[2];
            acc[3] += w * p[3];
        }
        const int32_t a = ClampFull(acc[3] >> kWeightBits);
        out[3] = static_cast<uint16_t>(a);
        for (int c = 0; c < 3; ++c)
            out[c] = static_cast<uint16_t>(std::min(ClampFull(acc[c] >> kWeightBits), a));
    }
}

#if defined(__SSE2__)
// The horizontal weights laid out for pmaddwd: the taps of each output
// position in pairs, a pair's two 16-bit weights in one 32-bit value and an
// odd last tap paired with a zero weight on the same pixel.
struct PairTable {
    int pairs = 0;
    std::vector<int32_t> index;   // two source indices per pair
    std::vector<int32_t> weight;  // w0 in the low half, w1 in the high half
};

// False when a weight does not fit 16 bits; the scalar filter is used then.
bool BuildPairs(const WeightTable& h, int count, PairTable& table) {
    const int taps = h.taps;
    table.pairs = (taps + 1) / 2;
    try {
        table.index.resize(static_cast<size_t>(count) * table.pairs * 2);
        table.weight.resize(static_cast<size_t>(count) * table.pairs);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int x = 0; x < count; ++x) {
        const int32_t* wi = &h.weight[static_cast<size_t>(x) * taps];
        const int32_t* ii = &h.index[static_cast<size_t>(x) * taps];
        int32_t* pi = &table.index[static_cast<size_t>(x) * table.pairs * 2];
        int32_t* pw = &table.weight[static_cast<size_t>(x) * table.pairs];
        for (int t = 0; t < table.pairs * 2; ++t) {
            const int32_t w = t < taps ? wi[t] : 0;
            if (w < INT16_MIN || w > INT16_MAX)
                return false;
            pi[t] = ii[std::min(t, taps - 1)];
            if (t % 2 == 0)
                pw[t / 2] = static_cast<int32_t>(static_cast<uint16_t>(w));
            else
                pw[t / 2] |= static_cast<int32_t>(static_cast<uint32_t>(w) << 16);
        }
    }
    return true;
}

// FilterRow on a row premultiplied with bias 0x8000, that is every value v
// held as the signed v - 32768. pmaddwd multiplies a pair of taps for all four
// channels at once. The bias adds -32768 x (sum of weights) = -2^29 to each
// sum, which is a whole multiple of 2^14: after the shift each channel comes
// out exactly 32768 below the unbiased filter's, so the clamps to 0..kFull
// and to alpha are the same comparisons made in signed 16 bits, and the
// result is bit for bit that of FilterRow.
void FilterRowBiased(const uint16_t* src, const PairTable& h, int count, uint16_t* out) {
    const __m128i half = _mm_set1_epi32(kWeightOne / 2);
    const __m128i full = _mm_set1_epi16(static_cast<int16_t>(kFull - 32768));
    const __m128i unbias = _mm_set1_epi16(static_cast<int16_t>(0x8000));
    const int32_t* index = h.index.data();
    const int32_t* weight = h.weight.data();
    for (int x = 0; x < count; ++x, out += 4) {
        __m128i acc = half;
        for (int k = 0; k < h.pairs; ++k, index += 2, ++weight) {
            const __m128i p0 =
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + index[0] * 4));
            const __m128i p1 =
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + index[1] * 4));
            acc = _mm_add_epi32(
                acc, _mm_madd_epi16(_mm_unpacklo_epi16(p0, p1), _mm_set1_epi32(*weight)));
        }
        __m128i v = _mm_srai_epi32(acc, kWeightBits);
        v = _mm_min_epi16(_mm_packs_epi32(v, v), full);  // 0..kFull, still biased
        v = _mm_min_epi16(v, _mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 3, 3)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_xor_si128(v, unbias));
    }
}
#endif

// Premultiplied accumulators back to non-premultiplied bytes.
void FinishRow(const int32_t* acc, int count, uint8_t* out) {
    for (int x = 0; x < count; ++x, acc += 4, out += 4) {
        const int32_t a = ClampFull(acc[3] >> kWeightBits);
        if (a == 0) {
            out[0] = out[1] = out[2] = out[3] = 0;
            continue;
        }
        out[3] = static_cast<uint8_t>((a + 127) / 255);
        for (int c = 0; c < 3; ++c) {
            const int32_t v = std::min(ClampFull(acc[c] >> kWeightBits), a);
            out[c] = static_cast<uint8_t>(a == kFull ? (v + 127) / 255 : (v * 255 + a / 2) / a);
        }
    }
}

// The source pixel under the centre of output position i.
inline int NearestIndex(int64_t i, int sourceLength, int outLength) {
    const int64_t s = (i * 2 + 1) * sourceLength / (2 * static_cast<int64_t>(outLength));
    return static_cast<int>(std::clamp<int64_t>(s, 0, sourceLength - 1));
}

void NearestWindow(const PixelView& src, int outW, int outH, int offX, int offY,
                   const PixelView& dst) {
    std::vector<int> columns(static_cast<size_t>(dst.width));
    for (int x = 0; x < dst.width; ++x)
        columns[x] = NearestIndex(static_cast<int64_t>(offX) + x, src.width, outW);
    for (int y = 0; y < dst.height; ++y) {
        const int sy = NearestIndex(static_cast<int64_t>(offY) + y, src.height, outH);
        const auto* in = reinterpret_cast<const uint32_t*>(src.row(sy));
        auto* out = reinterpret_cast<uint32_t*>(dst.row(y));
        for (int x = 0; x < dst.width; ++x)
            out[x] = in[columns[x]];
    }
}

}  // namespace

Status ResampleWindow(const PixelView& source, int outWidth, int outHeight, int offsetX,
                      int offsetY, const PixelView& target, uint32_t mode) {
    if (source.empty() || target.empty() || outWidth <= 0 || outHeight <= 0)
        return InvalidParameter;
    if (mode == 5) {
        NearestWindow(source, outWidth, outHeight, offsetX, offsetY, target);
        return Ok;
    }
    const KernelChoice kernel = ChooseKernel(mode > 7 ? 7 : mode);
    // Large reductions with a widened kernel average whole blocks first and
    // leave the kernel a shrink of two to four, its taps few.
    const int boxX = kernel.widen ? source.width / outWidth / 2 : 1;
    const int boxY = kernel.widen ? source.height / outHeight / 2 : 1;
    if (boxX >= 2 || boxY >= 2) {
        std::vector<uint8_t> storage;
        try {
            const PixelView shrunk = BoxShrink(source, boxX, boxY, storage);
            return ResampleWindow(shrunk, outWidth, outHeight, offsetX, offsetY, target, mode);
        } catch (const std::bad_alloc&) {
            return OutOfMemory;
        }
    }
    WeightTable horizontal, vertical;
    if (!BuildWeights(source.width, outWidth, offsetX, target.width, kernel, horizontal) ||
        !BuildWeights(source.height, outHeight, offsetY, target.height, kernel, vertical))
        return OutOfMemory;
    // Horizontally filtered source rows are kept in as many slots as the
    // vertical kernel has taps, slot = row % taps: the rows one output row
    // needs lie in a run of at most that many, so a slot is only refilled
    // when the window has moved on. The memory is a few lines, however many
    // source rows the window spans.
    const int slots = vertical.taps;
    const size_t lineValues = static_cast<size_t>(target.width) * 4;
    std::vector<uint16_t> premultiplied, intermediate;
    std::vector<int> slotRow(static_cast<size_t>(slots), -1);
    std::vector<int32_t> acc;
    try {
        premultiplied.resize(static_cast<size_t>(source.width) * 4);
        intermediate.resize(lineValues * slots);
        acc.resize(lineValues);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
#if defined(__SSE2__)
    PairTable pairs;
    const bool paired = BuildPairs(horizontal, target.width, pairs);
#endif
    auto filteredRow = [&](int row) {
        const int slot = row % slots;
        uint16_t* line = &intermediate[lineValues * slot];
        if (slotRow[slot] != row) {
#if defined(__SSE2__)
            if (paired) {
                PremultiplyRow(source.row(row), source.width, 0x8000, premultiplied.data());
                FilterRowBiased(premultiplied.data(), pairs, target.width, line);
                slotRow[slot] = row;
                return static_cast<const uint16_t*>(line);
            }
#endif
            PremultiplyRow(source.row(row), source.width, 0, premultiplied.data());
            FilterRow(premultiplied.data(), horizontal, target.width, line);
            slotRow[slot] = row;
        }
        return static_cast<const uint16_t*>(line);
    };
    for (int y = 0; y < target.height; ++y) {
        std::fill(acc.begin(), acc.end(), kWeightOne / 2);
        for (int t = 0; t < vertical.taps; ++t) {
            const size_t k = static_cast<size_t>(y) * vertical.taps + t;
            const int32_t w = vertical.weight[k];
            if (w == 0)
                continue;
            const uint16_t* line = filteredRow(vertical.index[k]);
            for (size_t i = 0; i < lineValues; ++i)
                acc[i] += w * line[i];
        }
        FinishRow(acc.data(), target.width, target.row(y));
    }
    return Ok;
}

}  // namespace Vs4Image
