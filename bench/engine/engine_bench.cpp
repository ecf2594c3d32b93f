// The thumbnail path of the image engine against libvips, per photo: decode,
// the 300-pixel-wide resize with interpolation mode 7 (libvips: vips_resize),
// JPEG encoding of the whole photo at quality 90, and decode + resize +
// encode from JPEG bytes to thumbnail JPEG bytes, once with the reduced-size
// JPEG decode (Thumbnail; libvips: vips_thumbnail_buffer, which shrinks on
// load) and once decoding every pixel (FullPath). At the end the ratio
// ours / libvips of each pair is printed.
//
// Photos: the WebP backgrounds of Debian's gnome-backgrounds package, turned
// into JPEG (quality 92) in memory before measuring. Both engines run on one
// thread (libvips' concurrency is set to 1, its operation cache is off).
#include <benchmark/benchmark.h>
#include <vips/vips.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image/base_image.h"
#include "image/codecs/codec.h"
#include "image/resample.h"

using namespace Vs4Image;

namespace {

constexpr int kThumbWidth = 300;
constexpr int kVipsNoHeightLimit = 10000000;

struct Photo {
    std::string name;
    std::vector<uint8_t> jpeg;
};

std::vector<Photo> LoadPhotos() {
    std::vector<Photo> photos;
    const char* folder = "/usr/share/backgrounds/gnome/";
    for (const char* name : {"wood-d", "adwaita-l", "truchet-d", "pixels-l"}) {
        CBaseImage image;
        if (image.LoadFromFile(std::string(folder) + name + ".webp") != Ok)
            continue;
        Photo photo{name, {}};
        if (image.SaveToStream("jpg", 92, 0, photo.jpeg) == Ok)
            photos.push_back(std::move(photo));
    }
    return photos;
}

// --- ours ---

void OursDecode(benchmark::State& state, const Photo* photo) {
    for (auto _ : state) {
        CBaseImage image;
        if (image.LoadFromMemory(photo->jpeg.data(), uint32_t(photo->jpeg.size())) != Ok)
            state.SkipWithError("decode failed");
    }
}

void OursResize(benchmark::State& state, const Photo* photo) {
    CBaseImage image;
    image.LoadFromMemory(photo->jpeg.data(), uint32_t(photo->jpeg.size()));
    const int height = int(int64_t(image.height()) * kThumbWidth / image.width());
    std::unique_ptr<Bitmap> target = Bitmap::Create(kThumbWidth, height);
    for (auto _ : state)
        Resample(image.view(), target->view(), kInterpolationHighQualityBicubic);
}

void OursEncode(benchmark::State& state, const Photo* photo) {
    CBaseImage image;
    image.LoadFromMemory(photo->jpeg.data(), uint32_t(photo->jpeg.size()));
    for (auto _ : state) {
        std::vector<uint8_t> out;
        image.SaveToStream("jpg", 90, 0, out);
        benchmark::DoNotOptimize(out.data());
    }
}

// JPEG bytes in, thumbnail JPEG bytes out, decoding at the reduced size
// the thumbnail allows.
void OursThumbnail(benchmark::State& state, const Photo* photo) {
    for (auto _ : state) {
        CBaseImage image;
        image.LoadFromMemory(photo->jpeg.data(), uint32_t(photo->jpeg.size()),
                             DecodeHint{kThumbWidth, 0});
        image.Resize(kThumbWidth, 0, kInterpolationHighQualityBicubic, false);
        std::vector<uint8_t> out;
        if (image.SaveToStream("jpg", 90, 0, out) != Ok)
            state.SkipWithError("thumbnail failed");
    }
}

// The same without the reduced-size decode: every pixel decoded, then
// resized by the resampler alone.
void OursFullPath(benchmark::State& state, const Photo* photo) {
    for (auto _ : state) {
        CBaseImage image;
        image.LoadFromMemory(photo->jpeg.data(), uint32_t(photo->jpeg.size()));
        image.Resize(kThumbWidth, 0, kInterpolationHighQualityBicubic, false);
        std::vector<uint8_t> out;
        if (image.SaveToStream("jpg", 90, 0, out) != Ok)
            state.SkipWithError("full path failed");
    }
}

// --- libvips ---

VipsImage* VipsDecoded(const Photo* photo) {
    VipsImage* lazy = vips_image_new_from_buffer(photo->jpeg.data(), photo->jpeg.size(), "", NULL);
    if (lazy == nullptr)
        return nullptr;
    VipsImage* memory = vips_image_copy_memory(lazy);
    g_object_unref(lazy);
    return memory;
}

void VipsDecode(benchmark::State& state, const Photo* photo) {
    for (auto _ : state) {
        VipsImage* image = VipsDecoded(photo);
        if (image == nullptr)
            state.SkipWithError(vips_error_buffer());
        else
            g_object_unref(image);
    }
}

void VipsResize(benchmark::State& state, const Photo* photo) {
    VipsImage* image = VipsDecoded(photo);
    const double scale = double(kThumbWidth) / vips_image_get_width(image);
    for (auto _ : state) {
        VipsImage* small = nullptr;
        vips_resize(image, &small, scale, NULL);
        VipsImage* memory = vips_image_copy_memory(small);
        g_object_unref(memory);
        g_object_unref(small);
    }
    g_object_unref(image);
}

void VipsEncode(benchmark::State& state, const Photo* photo) {
    VipsImage* image = VipsDecoded(photo);
    for (auto _ : state) {
        void* buffer = nullptr;
        size_t size = 0;
        vips_jpegsave_buffer(image, &buffer, &size, "Q", 90, NULL);
        g_free(buffer);
    }
    g_object_unref(image);
}

void VipsThumbnail(benchmark::State& state, const Photo* photo) {
    for (auto _ : state) {
        VipsImage* thumb = nullptr;
        if (vips_thumbnail_buffer(const_cast<uint8_t*>(photo->jpeg.data()), photo->jpeg.size(),
                                  &thumb, kThumbWidth, "height", kVipsNoHeightLimit, NULL) != 0) {
            state.SkipWithError(vips_error_buffer());
            continue;
        }
        void* buffer = nullptr;
        size_t size = 0;
        vips_jpegsave_buffer(thumb, &buffer, &size, "Q", 90, NULL);
        g_free(buffer);
        g_object_unref(thumb);
    }
}

void VipsFullPath(benchmark::State& state, const Photo* photo) {
    for (auto _ : state) {
        VipsImage* image =
            vips_image_new_from_buffer(photo->jpeg.data(), photo->jpeg.size(), "", NULL);
        VipsImage* small = nullptr;
        vips_resize(image, &small, double(kThumbWidth) / vips_image_get_width(image), NULL);
        void* buffer = nullptr;
        size_t size = 0;
        vips_jpegsave_buffer(small, &buffer, &size, "Q", 90, NULL);
        g_free(buffer);
        g_object_unref(small);
        g_object_unref(image);
    }
}

// Remembers the time of every run so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios(const std::vector<Photo>& photos) const {
        std::printf("\nours / libvips (real time; below 1 means ours is faster)\n");
        for (const char* step : {"Decode", "Resize300", "EncodeQ90", "Thumbnail", "FullPath"}) {
            for (const Photo& p : photos) {
                const auto ours = times_.find(std::string(step) + "/ours/" + p.name);
                const auto vips = times_.find(std::string(step) + "/vips/" + p.name);
                if (ours == times_.end() || vips == times_.end() || vips->second <= 0)
                    continue;
                std::printf("  %-10s %-10s %6.2f\n", step, p.name.c_str(),
                            ours->second / vips->second);
            }
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    if (VIPS_INIT(argv[0]) != 0)
        return 1;
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    const std::vector<Photo> photos = LoadPhotos();
    if (photos.empty()) {
        std::fprintf(stderr, "no photos: install gnome-backgrounds\n");
        return 1;
    }
    for (const Photo& p : photos) {
        const Photo* photo = &p;
        benchmark::RegisterBenchmark(("Decode/ours/" + p.name).c_str(), OursDecode, photo);
        benchmark::RegisterBenchmark(("Decode/vips/" + p.name).c_str(), VipsDecode, photo);
        benchmark::RegisterBenchmark(("Resize300/ours/" + p.name).c_str(), OursResize, photo);
        benchmark::RegisterBenchmark(("Resize300/vips/" + p.name).c_str(), VipsResize, photo);
        benchmark::RegisterBenchmark(("EncodeQ90/ours/" + p.name).c_str(), OursEncode, photo);
        benchmark::RegisterBenchmark(("EncodeQ90/vips/" + p.name).c_str(), VipsEncode, photo);
        benchmark::RegisterBenchmark(("Thumbnail/ours/" + p.name).c_str(), OursThumbnail, photo);
        benchmark::RegisterBenchmark(("Thumbnail/vips/" + p.name).c_str(), VipsThumbnail, photo);
        benchmark::RegisterBenchmark(("FullPath/ours/" + p.name).c_str(), OursFullPath, photo);
        benchmark::RegisterBenchmark(("FullPath/vips/" + p.name).c_str(), VipsFullPath, photo);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios(photos);
    benchmark::Shutdown();
    vips_shutdown();
    return 0;
}
