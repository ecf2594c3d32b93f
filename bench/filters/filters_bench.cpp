// Blur, sharpen and the multiply blend on a 12-megapixel image, each next to
// libvips's nearest operation. Both sides run on one thread (libvips's
// concurrency is set to 1, its operation cache off), so the ratio compares
// the pixel code itself. Times are wall-clock and process CPU (which also
// counts libvips's worker thread); on a busy machine the CPU ratio is the
// steadier one. After the runs a table prints ours / libvips. Blur radius
// 200 (ours only) shows the double-precision path of large radii.
#include <benchmark/benchmark.h>
#include <vips/vips.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "image/base_image.h"
#include "image/blend/blend_layer.h"
#include "image/filters/gaussian_blur.h"
#include "image/filters/sharpen.h"

namespace {

using Vs4Image::CBaseImage;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photo-like test card: smooth gradients with hard-edged blocks.
void Fill(CBaseImage& image, int seed) {
    image.CreateBlank(kWidth, kHeight, 0xFF000000);
    const Vs4Image::PixelView v = image.view();
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* p = v.row(y);
        for (int x = 0; x < kWidth; ++x, p += 4) {
            const bool block = ((x / 97 + y / 61 + seed) & 3) == 0;
            p[0] = static_cast<uint8_t>(block ? 30 : x * 255 / kWidth);
            p[1] = static_cast<uint8_t>(block ? 220 : y * 255 / kHeight);
            p[2] = static_cast<uint8_t>((x * 7 + y * 3 + seed * 50) & 255);
            p[3] = 255;
        }
    }
}

const CBaseImage& Source(int seed) {
    static CBaseImage images[2];
    if (!images[seed].HasBitmap())
        Fill(images[seed], seed);
    return images[seed];
}

// A working copy of a source image, refreshed before each timed run.
void CopyInto(CBaseImage& target, const CBaseImage& source) {
    if (!target.HasBitmap())
        target.CreateBlank(kWidth, kHeight, 0);
    memcpy(target.view().data, source.view().data, size_t{kWidth} * kHeight * 4);
}

VipsImage* VipsFrom(const CBaseImage& image) {
    VipsImage* in = vips_image_new_from_memory(image.view().data, size_t{kWidth} * kHeight * 4,
                                               kWidth, kHeight, 4, VIPS_FORMAT_UCHAR);
    in->Type = VIPS_INTERPRETATION_sRGB;
    return in;
}

// Evaluates a lazy libvips result fully and frees it.
void Finish(VipsImage* out) {
    VipsImage* memory = vips_image_copy_memory(out);
    benchmark::DoNotOptimize(memory);
    g_object_unref(memory);
    g_object_unref(out);
}

// The same with a cast back to 8 bits, as our results are.
void FinishAsBytes(VipsImage* out) {
    VipsImage* cast = nullptr;
    const int failed = vips_cast_uchar(out, &cast, nullptr);
    g_object_unref(out);
    if (!failed)
        Finish(cast);
}

void BM_Blur(benchmark::State& state) {
    CBaseImage work;
    const float radius = static_cast<float>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        CopyInto(work, Source(0));
        state.ResumeTiming();
        Vs4Image::GaussianBlur(work, radius, radius);
    }
}

// The same Gaussian: it falls to 1/255 at radius + 1 pixels.
void BM_VipsGaussblur(benchmark::State& state) {
    VipsImage* in = VipsFrom(Source(0));
    const double sigma = (state.range(0) + 1.0) / std::sqrt(2.0 * std::log(255.0));
    for (auto _ : state) {
        VipsImage* out = nullptr;
        if (vips_gaussblur(in, &out, sigma, "min_ampl", 1.0 / 255.0, nullptr)) {
            state.SkipWithError(vips_error_buffer());
            break;
        }
        Finish(out);
    }
    g_object_unref(in);
}

void BM_Sharpen(benchmark::State& state) {
    CBaseImage work;
    for (auto _ : state) {
        state.PauseTiming();
        CopyInto(work, Source(0));
        state.ResumeTiming();
        Vs4Image::Sharpen(work, 1);
    }
}

// The same 3 x 3 kernel (centre 15, -1 around, divided by 7) through vips_conv.
void BM_VipsConvSharpen(benchmark::State& state) {
    VipsImage* in = VipsFrom(Source(0));
    VipsImage* mask =
        vips_image_new_matrixv(3, 3, -1.0, -1.0, -1.0, -1.0, 15.0, -1.0, -1.0, -1.0, -1.0);
    vips_image_set_double(mask, "scale", 7.0);
    for (auto _ : state) {
        VipsImage* out = nullptr;
        if (vips_conv(in, &out, mask, "precision", VIPS_PRECISION_INTEGER, nullptr)) {
            state.SkipWithError(vips_error_buffer());
            break;
        }
        FinishAsBytes(out);
    }
    g_object_unref(mask);
    g_object_unref(in);
}

void BM_BlendMultiply(benchmark::State& state) {
    CBaseImage work;
    for (auto _ : state) {
        state.PauseTiming();
        CopyInto(work, Source(0));
        state.ResumeTiming();
        Vs4Image::BlendLayer(work, Source(1), "multiply", 255);
    }
}

void BM_VipsCompositeMultiply(benchmark::State& state) {
    VipsImage* base = VipsFrom(Source(0));
    VipsImage* layer = VipsFrom(Source(1));
    for (auto _ : state) {
        VipsImage* out = nullptr;
        if (vips_composite2(base, layer, &out, VIPS_BLEND_MODE_MULTIPLY, nullptr)) {
            state.SkipWithError(vips_error_buffer());
            break;
        }
        FinishAsBytes(out);
    }
    g_object_unref(layer);
    g_object_unref(base);
}

BENCHMARK(BM_Blur)
    ->Arg(5)
    ->Arg(50)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(BM_VipsGaussblur)
    ->Arg(5)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(BM_Sharpen)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_VipsConvSharpen)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_BlendMultiply)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_VipsCompositeMultiply)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// Keeps each run's time per iteration (ms) beside the usual console output.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double real;
        double cpu;
    };
    std::map<std::string, Times> ms;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            ms[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintRatio(const RatioReporter& r, const char* label, const char* ours, const char* theirs) {
    const auto a = r.ms.find(ours), b = r.ms.find(theirs);
    if (a == r.ms.end() || b == r.ms.end())
        return;
    const RatioReporter::Times x = a->second, y = b->second;
    printf("%-16s real %7.1f / %7.1f ms = %5.2f   cpu %7.1f / %7.1f ms = %5.2f\n", label, x.real,
           y.real, x.real / y.real, x.cpu, y.cpu, x.cpu / y.cpu);
}

}  // namespace

int main(int argc, char** argv) {
    if (VIPS_INIT(argv[0]))
        return 1;
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printf("\nours / libvips, %d x %d pixels, one thread each\n", kWidth, kHeight);
    PrintRatio(reporter, "blur 5", "BM_Blur/5/process_time", "BM_VipsGaussblur/5/process_time");
    PrintRatio(reporter, "blur 50", "BM_Blur/50/process_time", "BM_VipsGaussblur/50/process_time");
    PrintRatio(reporter, "sharpen", "BM_Sharpen/process_time", "BM_VipsConvSharpen/process_time");
    PrintRatio(reporter, "multiply blend", "BM_BlendMultiply/process_time",
               "BM_VipsCompositeMultiply/process_time");
    benchmark::Shutdown();
    vips_shutdown();
    return 0;
}
