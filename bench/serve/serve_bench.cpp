// serve_bench: 300-pixel thumbnails end to end. Against a real vistrel5 with
// real workers (copied into folders of their own under /tmp): GET misses
// (UseCache=false) and hits, and EXEC thumbnails returning bytes, at 1, 2, 8
// and 64 connections. Beside them, in the same run: vipsthumbnail and
// ImageMagick's convert -thumbnail as whole processes, vistrel-img, libvips
// in process (vips_thumbnail) against our in-process path, the echo server
// as the ceiling for hits, and the workers' memory (at start, after 100 and
// after --soak requests, and the peak for one image against vipsthumbnail's).
//
//   serve_bench [--soak N] [--memory]   (default 10000 requests for the memory
//                                        figures; --memory measures only those)
#include <vips/vips.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "client/verb_requests.h"
#include "echo_server.h"
#include "image/base_image.h"
#include "image/codecs/codec.h"
#include "image/graphics.h"
#include "photocmd/deferred_source.h"
#include "platform/module.h"
#include "serve_load.h"

using namespace ServeBench;
namespace fs = std::filesystem;

namespace {

const std::string kWork = "/tmp/vs5-serve-bench";
const std::string kCommand = "cmd=thumb&w=300";

struct Photo {
    std::string name, path;
    double vipsMs = 0;  // vipsthumbnail's wall time, the yardstick of the ratios
};

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<Photo> MakePhotos() {
    const std::string source = "/usr/share/backgrounds/gnome/adwaita-l.webp";
    const std::string base = fs::exists(source) ? source : "rose:";
    std::vector<Photo> photos = {{"baseline JPEG 2560x1920", kWork + "/baseline.jpg"},
                                 {"progressive JPEG 5640x3172 q100", kWork + "/progressive.jpg"},
                                 {"PNG 2560x1920", kWork + "/photo.png"}};
    Shell("convert " + base + " -resize 2560x1920! -quality 90 " + photos[0].path);
    Shell("convert " + base + " -resize 5640x3172! -quality 100 -interlace JPEG " + photos[1].path);
    Shell("convert " + base + " -resize 2560x1920! " + photos[2].path);
    return photos;
}

// Our in-process thumbnail: the path vistrel-img and the worker take.
void OursInProcess(const std::string& path) {
    std::vector<uint8_t> bytes;
    Vs4Image::ReadWholeFile(path, bytes);
    Vs4Image::CBaseImage image;
    Vs4Command::DeferredSource source;
    source.Load(image, std::move(bytes));
    Vs4Command::Operation op = Vs4Command::ResizeOp{300, 0, 7, false};
    source.Realize(image, &op);
    const auto& r = std::get<Vs4Command::ResizeOp>(op);
    image.Resize(r.width, r.height, 7, false);
    std::vector<uint8_t> out;
    image.SaveToStream("jpg", 90, 0, out);
}

void VipsInProcess(const std::string& path) {
    VipsImage* thumb = nullptr;
    if (vips_thumbnail(path.c_str(), &thumb, 300, nullptr) == 0) {
        void* buffer = nullptr;
        size_t size = 0;
        vips_image_write_to_buffer(thumb, ".jpg", &buffer, &size, "Q", 90, nullptr);
        g_free(buffer);
        g_object_unref(thumb);
    }
}

template <typename Fn>
double MedianMs(int runs, Fn&& fn) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        fn();
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                        .count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

void Line(const char* what, const LoadFigures& f, double yardstickMs) {
    printf("  %-34s %8.1f req/s  p50 %7.2f ms  p99 %7.2f ms  failures %ld  p50/vips %.2f\n", what,
           f.requestsPerSecond, f.p50Ms, f.p99Ms, f.failures,
           yardstickMs > 0 ? f.p50Ms / yardstickMs : 0);
}

void Tools(const std::string& bin, std::vector<Photo>& photos) {
    printf("Whole processes and in process, median of 7 (ms, peak RSS MiB):\n");
    for (Photo& p : photos) {
        const std::string out = kWork + "/out.jpg";
        ToolFigures vips = TimeTool({"/usr/bin/vipsthumbnail", p.path, "-s", "300", "-o", out}, 7);
        ToolFigures im = TimeTool({"/usr/bin/convert", p.path, "-thumbnail", "300x", out}, 7);
        ToolFigures img = TimeTool({bin + "/vistrel-img", p.path, out, kCommand}, 7);
        p.vipsMs = vips.medianMs;
        double ours = MedianMs(7, [&] { OursInProcess(p.path); });
        double theirs = MedianMs(7, [&] { VipsInProcess(p.path); });
        printf("  %s\n", p.name.c_str());
        printf(
            "    vipsthumbnail %7.1f ms %6.1f MiB | convert %7.1f ms (%.2fx) | vistrel-img %7.1f "
            "ms %6.1f MiB (%.2fx)\n",
            vips.medianMs, vips.maxRssKiB / 1024.0, im.medianMs, im.medianMs / vips.medianMs,
            img.medianMs, img.maxRssKiB / 1024.0, img.medianMs / vips.medianMs);
        printf("    in process: ours %7.1f ms, libvips %7.1f ms, ratio %.2f\n", ours, theirs,
               ours / theirs);
    }
}

void Serve(const std::string& bin, const std::vector<Photo>& photos) {
    ServerProcess miss(bin, kWork + "/miss", "UseCache=false\n");
    ServerProcess hit(bin, kWork + "/hit", "");
    if (!miss.ok() || !hit.ok()) {
        fprintf(stderr, "serve_bench: the servers did not start\n");
        return;
    }
    for (const Photo& p : photos) {
        printf("%s:\n", p.name.c_str());
        auto get = [&](int) { return VsClient::BuildGetFrame(p.path, kCommand); };
        std::vector<uint8_t> bytes;
        Vs4Image::ReadWholeFile(p.path, bytes);
        auto exec = [&](int) {
            return VsClient::BuildExecFrame(VsClient::ExecSource::kBytes, bytes, "",
                                            kCommand + "\ncmd=encode&format=jpg");
        };
        double oneClient = 0;
        for (int c : {1, 2, 8, 64}) {
            int requests = c == 64 ? 2 : c == 8 ? 6 : 20;
            LoadFigures f = RunLoad(miss.port(), c, requests, get);
            if (c == 1)
                oneClient = f.requestsPerSecond;
            std::string what = "GET miss, " + std::to_string(c) + " conn";
            Line(what.c_str(), f, p.vipsMs);
            if (c == 2)
                printf("    two clients / one client: %.2f (goal >= 1.8)\n",
                       f.requestsPerSecond / oneClient);
        }
        Line("EXEC bytes, 1 conn", RunLoad(miss.port(), 1, 20, exec), p.vipsMs);
        RunLoad(hit.port(), 1, 1, get);  // fills the cache
        for (int c : {1, 2, 8, 64}) {
            std::string what = "GET hit, " + std::to_string(c) + " conn";
            Line(what.c_str(), RunLoad(hit.port(), c, 2000 / c + 50, get), 0);
        }
    }
    EchoServer echo(2);
    LoadFigures e = RunLoad(
        echo.port(), 8, 2000, [](int) { return VsClient::BuildRequestFrame("BENCH", 400, {}); },
        100);
    printf("echo server, 8 conn: %.0f req/s (the ceiling for GET hits)\n", e.requestsPerSecond);
}

void Memory(const std::string& bin, const Photo& photo, int soak) {
    ServerProcess server(bin, kWork + "/memory", "UseCache=false\nEngineWorkprocessCount=1\n");
    std::vector<pid_t> workers = server.Workers();
    if (!server.ok() || workers.empty())
        return;
    pid_t w = workers[0];
    long atStart = ProcessMemoryKiB(w, "VmRSS");
    auto get = [&](int i) {
        return VsClient::BuildGetFrame(photo.path, "cmd=thumb&w=" + std::to_string(200 + i % 200));
    };
    RunLoad(server.port(), 1, 1, get);
    long peakOne = ProcessMemoryKiB(w, "VmHWM");
    RunLoad(server.port(), 1, 99, get);
    long after100 = ProcessMemoryKiB(w, "VmRSS");
    RunLoad(server.port(), 1, soak - 100, get);
    long afterSoak = ProcessMemoryKiB(w, "VmRSS");
    ToolFigures vips =
        TimeTool({"/usr/bin/vipsthumbnail", photo.path, "-s", "300", "-o", kWork + "/o.jpg"}, 1);
    printf("worker RSS: start %.1f MiB, after 100 %.1f MiB, after %d %.1f MiB (%.2fx of 100)\n",
           atStart / 1024.0, after100 / 1024.0, soak, afterSoak / 1024.0,
           double(afterSoak) / after100);
    printf("peak for one %s: worker %.1f MiB, vipsthumbnail %.1f MiB\n", photo.name.c_str(),
           peakOne / 1024.0, vips.maxRssKiB / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    int soak = 10000;
    bool memoryOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--soak") == 0 && i + 1 < argc)
            soak = std::max(200, atoi(argv[++i]));
        else if (strcmp(argv[i], "--memory") == 0)
            memoryOnly = true;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);  // figures appear as they are measured
    if (VIPS_INIT(argv[0]) != 0)
        return 1;
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    Vs4Image::GraphicsStartup();
    fs::create_directories(kWork);
    std::vector<Photo> photos = MakePhotos();
    const std::string bin = Vs5Platform::ModuleFolder();
    if (!memoryOnly) {
        Tools(bin, photos);
        Serve(bin, photos);
    }
    Memory(bin, photos[0], soak);
    fs::remove_all(kWork);
    return 0;
}
