// What the worker pipe costs. Prints:
//   - the round trip of a status step (a flip of a 1 x 1 image);
//   - MB/s of loading image bytes (opcode 3) and of fetching an encoded image
//     (opcode 6) with a 10 MB BMP, next to the same decode and encode in
//     process, so the difference is the pipe;
//   - a 300-pixel thumbnail of a 5 MP JPEG (load bytes, resize, encode)
//     through the worker and in process (both decoding at a reduced size),
//     and the share of the pipe in it.
// Photo: a gnome-backgrounds WebP turned into a 2560 x 1920 JPEG, or a
// generated image when the package is missing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "image/base_image.h"
#include "image/graphics.h"
#include "photocmd/deferred_source.h"
#include "platform/module.h"
#include "worker/worker_link.h"
#include "worker/worker_process.h"

using Clock = std::chrono::steady_clock;
using Vs4Image::CBaseImage;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

template <typename Fn>
double Median(int runs, Fn&& fn) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        fn();
        times.push_back(Seconds(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::vector<uint8_t> Photo5Mp() {
    CBaseImage image;
    const std::string webp = "/usr/share/backgrounds/gnome/adwaita-l.webp";
    if (image.LoadFromFile(webp) != Vs4Image::Ok)
        image.CreateBlank(2560, 1920, 0xFF336699);
    image.Resize(2560, 1920, 7, false);
    std::vector<uint8_t> jpeg;
    image.SaveToStream("jpg", 90, 0, jpeg);
    return jpeg;
}

}  // namespace

int main() {
    Vs4Image::GraphicsStartup();
    std::string home = std::filesystem::temp_directory_path() / "vs5-worker-bench";
    std::filesystem::create_directories(home);
    Configuration config;
    config.Load(home);
    Vs5Worker::CWorkerProcess worker(
        config, Vs5Platform::JoinPath(Vs5Platform::ModuleFolder(), "vistrelremt"));
    if (!worker.Start()) {
        std::fprintf(stderr, "worker_bench: the worker did not start\n");
        return 1;
    }
    Vs5Worker::WorkerLink link(&worker);

    // Round trip of a status step.
    CBaseImage dot;
    dot.CreateBlank(1, 1, 0xFFFFFFFF);
    std::vector<uint8_t> dotBmp;
    dot.SaveToStream("bmp", 90, 0, dotBmp);
    link.LoadBytes(dotBmp.data(), dotBmp.size());
    const int trips = 20000;
    auto start = Clock::now();
    for (int i = 0; i < trips; ++i)
        link.Apply(Vs4Command::FlipOp{true, false});
    std::printf("status round trip: %.1f us\n", Seconds(start) / trips * 1e6);

    // Bulk transfers with a 10 MB image.
    CBaseImage big;
    big.CreateBlank(1826, 1826, 0xFF808080);  // 10 MB as a 24-bit BMP
    std::vector<uint8_t> bmp;
    big.SaveToStream("bmp", 90, 0, bmp);
    const double mb = bmp.size() / 1e6;
    double loadPipe = Median(7, [&] { link.LoadBytes(bmp.data(), bmp.size()); });
    double loadHere = Median(7, [&] {
        CBaseImage copy;
        copy.LoadFromMemory(bmp.data(), static_cast<uint32_t>(bmp.size()));
    });
    std::vector<uint8_t> out;
    double fetchPipe = Median(7, [&] { link.Encode({"bmp", 90, false}, out); });
    double fetchHere = Median(7, [&] {
        std::vector<uint8_t> o;
        big.SaveToStream("bmp", 90, 0, o);
    });
    std::printf("opcode 3, %.1f MB: %.0f MB/s through the worker, %.0f MB/s decode in process\n",
                mb, mb / loadPipe, mb / loadHere);
    std::printf("opcode 6, %.1f MB: %.0f MB/s through the worker, %.0f MB/s encode in process\n",
                mb, mb / fetchPipe, mb / fetchHere);

    // A thumbnail of a 5 MP photo.
    std::vector<uint8_t> photo = Photo5Mp();
    double viaWorker = Median(9, [&] {
        link.LoadBytes(photo.data(), photo.size());
        link.Apply(Vs4Command::ResizeOp{300, 0, 7, false});
        link.Encode({"jpg", 90, false}, out);
    });
    // The same steps in process, with the same reduced-size decode.
    double inProcess = Median(9, [&] {
        CBaseImage image;
        Vs4Command::DeferredSource source;
        source.Load(image, photo);
        Vs4Command::Operation resize = Vs4Command::ResizeOp{300, 0, 7, false};
        source.Realize(image, &resize);
        const auto& r = std::get<Vs4Command::ResizeOp>(resize);
        image.Resize(r.width, r.height, 7, false);
        std::vector<uint8_t> o;
        image.SaveToStream("jpg", 90, 0, o);
    });
    std::printf(
        "5 MP thumbnail: %.1f ms through the worker, %.1f ms in process, pipe share %.1f %%"
        " (goal < 5 %%)\n",
        viaWorker * 1e3, inProcess * 1e3, (viaWorker - inProcess) / viaWorker * 100);
    worker.Stop();
    std::filesystem::remove_all(home);
    return 0;
}
