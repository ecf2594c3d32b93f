// Lookups that hit, from 1, 2 and 8 threads over 100000 entries whose files
// exist, and insertion of new entries. Lookups hold the cache lock in shared
// mode, so hits should scale with the threads the machine can run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cache/cache_key.h"
#include "cache/result_cache.h"
#include "config/configuration.h"

namespace {

constexpr int kEntries = 100000;

struct Bench {
    std::string module;
    std::unique_ptr<Configuration> config;
    std::unique_ptr<ResultCache> cache;
    std::vector<std::string> keys;

    Bench() {
        char pattern[] = "/tmp/vs_cache_bench_XXXXXX";
        module = mkdtemp(pattern);
        std::ofstream(module + "/vistrel5.ini") << "[Server]\nMaxCacheSize=100000\n";
        config = std::make_unique<Configuration>();
        config->Load(module);
        cache = std::make_unique<ResultCache>(SetupFromConfiguration(*config));
        keys.reserve(kEntries);
        for (int i = 0; i < kEntries; ++i) {
            std::string key =
                FormatCacheKey(133000000000000000ULL + i,
                               "/srv/images/" + std::to_string(i) + ".jpg", "", "thumb=100&mode=2");
            std::string path;
            cache->MakeResultPath("/srv/images/a.jpg", true, path);
            close(open(path.c_str(), O_WRONLY | O_CREAT, 0644));
            cache->Insert(key, path);
            keys.push_back(std::move(key));
        }
    }
    ~Bench() {
        cache.reset();
        config.reset();
        std::filesystem::remove_all(module);
    }
};

Bench& Shared() {
    static Bench bench;
    return bench;
}

void BM_LookupHit(benchmark::State& state) {
    Bench& bench = Shared();
    // Each thread walks the keys with its own stride, so threads do not read
    // the same entries in lockstep.
    size_t index = static_cast<size_t>(state.thread_index()) * 7919;
    const size_t stride = 104729 + 2 * static_cast<size_t>(state.thread_index());
    std::string path;
    for (auto _ : state) {
        bool hit = bench.cache->Lookup(bench.keys[index % kEntries], path);
        benchmark::DoNotOptimize(hit);
        index += stride;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupHit)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();

void BM_Insert(benchmark::State& state) {
    Bench& bench = Shared();
    const std::string path = bench.module + "/Cache/cache0000/insert.jpg";
    close(open(path.c_str(), O_WRONLY | O_CREAT, 0644));
    // Keys of the real form, made cheaply: a new time before fixed digests.
    const std::string digests = FormatCacheKey(0, "/srv/new.jpg", "", "thumb=100").substr(1);
    static std::atomic<uint64_t> next{0};
    for (auto _ : state) {
        std::string key = std::to_string(134000000000000000ULL + next.fetch_add(1)) + digests;
        benchmark::DoNotOptimize(bench.cache->Insert(key, path));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Insert)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
