#include "config/metrics.h"

#include <cstdio>

Metrics& Metrics::Instance() {
    static Metrics metrics;
    return metrics;
}

void Metrics::CountRequest(const std::string& verb, uint32_t status, uint32_t elapsedMs) {
    std::lock_guard<std::mutex> guard(lock_);
    VerbFigures& v = verbs_[verb];
    ++v.byStatus[status];
    size_t bucket = 0;
    while (bucket < kBucketsMs.size() && elapsedMs > kBucketsMs[bucket])
        ++bucket;
    ++v.buckets[bucket];
    ++v.count;
    v.sumMs += elapsedMs;
}

void Metrics::SetGauge(const std::string& name, const std::string& help,
                       std::function<double()> read) {
    std::lock_guard<std::mutex> guard(lock_);
    gauges_[name] = {help, std::move(read)};
}

void Metrics::RemoveGauge(const std::string& name) {
    std::lock_guard<std::mutex> guard(lock_);
    gauges_.erase(name);
}

namespace {

void Counter(std::string& out, const char* name, const char* help, uint64_t value) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " counter\n" + name +
           " " + std::to_string(value) + "\n";
}

std::string Number(double value) {
    char text[64];
    snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

std::string Metrics::Render() const {
    std::string out;
    std::lock_guard<std::mutex> guard(lock_);
    out +=
        "# HELP vistrel_requests_total Requests answered, by verb and result code.\n"
        "# TYPE vistrel_requests_total counter\n";
    for (const auto& [verb, v] : verbs_)
        for (const auto& [status, count] : v.byStatus)
            out += "vistrel_requests_total{verb=\"" + verb + "\",code=\"" + std::to_string(status) +
                   "\"} " + std::to_string(count) + "\n";
    out +=
        "# HELP vistrel_request_duration_seconds Time from a complete request to its answer.\n"
        "# TYPE vistrel_request_duration_seconds histogram\n";
    for (const auto& [verb, v] : verbs_) {
        const std::string label = "verb=\"" + verb + "\"";
        uint64_t cumulative = 0;
        for (size_t i = 0; i <= kBucketsMs.size(); ++i) {
            cumulative += v.buckets[i];
            std::string le = i < kBucketsMs.size() ? Number(kBucketsMs[i] / 1000.0) : "+Inf";
            out += "vistrel_request_duration_seconds_bucket{" + label + ",le=\"" + le + "\"} " +
                   std::to_string(cumulative) + "\n";
        }
        out += "vistrel_request_duration_seconds_sum{" + label + "} " + Number(v.sumMs / 1000.0) +
               "\n";
        out += "vistrel_request_duration_seconds_count{" + label + "} " + std::to_string(v.count) +
               "\n";
    }
    Counter(out, "vistrel_cache_hits_total", "GET requests answered from the cache.", cacheHits);
    Counter(out, "vistrel_cache_misses_total", "GET requests that made their result.", cacheMisses);
    Counter(out, "vistrel_cache_evictions_total", "Results evicted to keep the cache's size.",
            cacheEvictions);
    Counter(out, "vistrel_worker_starts_total", "Worker processes started.", workerStarts);
    Counter(out, "vistrel_worker_restarts_total",
            "Workers replaced after a step failed for want of an answer.", workerReplacements);
    Counter(out, "vistrel_captures_total", "Web page captures run.", captures);
    Counter(out, "vistrel_capture_failures_total", "Web page captures that failed.",
            captureFailures);
    out +=
        "# HELP vistrel_workers_alive Worker processes connected to their I/O thread.\n"
        "# TYPE vistrel_workers_alive gauge\nvistrel_workers_alive " +
        std::to_string(workersAlive.load()) + "\n";
    for (const auto& [name, gauge] : gauges_)
        out += "# HELP " + name + " " + gauge.help + "\n# TYPE " + name + " gauge\n" + name + " " +
               Number(gauge.read()) + "\n";
    return out;
}
