// The maintenance thread's two jobs on the cache: eviction of the least
// recently used entries, and the hourly hit-ratio report.
#include <algorithm>
#include <cinttypes>

#include "cache/result_cache.h"
#include "config/metrics.h"
#include "platform/event.h"

namespace {

// Eviction waits until the cache exceeds its limit by this much, so that it
// runs in batches instead of on every new result.
constexpr int64_t kEvictionSlack = 5242880;

int ElapsedMs(uint32_t since) {
    return static_cast<int>(Vs5Platform::TickCount() - since);
}

}  // namespace

void ResultCache::Invalidate() {
    const int64_t limit = settings_()->maxCacheSize;
    if (totalBytes_.load() - limit < kEvictionSlack)
        return;

    uint32_t tick = Vs5Platform::TickCount();
    boost::upgrade_lock<boost::upgrade_mutex> upgradable(lock_);
    log_.WriteLine("cache invalidating: %" PRId64 "/%" PRId64 "\r\n", totalBytes_.load(), limit);

    std::vector<EvictionRecord> records = SnapshotForEviction();
    log_.WriteLine("cache invalidating: step-1 : %dms\r\n", ElapsedMs(tick));

    // Sorting happens before any exclusive section: lookups go on meanwhile.
    tick = Vs5Platform::TickCount();
    SortOldestFirst(records);
    log_.WriteLine("cache invalidating: step-2 : %dms\r\n", ElapsedMs(tick));

    tick = Vs5Platform::TickCount();
    int removed = EvictOldest(records, totalBytes_.load() - limit, upgradable);
    Metrics::Instance().cacheEvictions += static_cast<uint64_t>(removed > 0 ? removed : 0);
    records.clear();
    upgradable.unlock();
    log_.WriteLine("cache invalidated: %d files added: %dms\r\n", removed, ElapsedMs(tick));
}

std::vector<ResultCache::EvictionRecord> ResultCache::SnapshotForEviction() {
    std::vector<EvictionRecord> records;
    records.reserve(entries_.size());
    int64_t total = 0;
    for (const auto& [key, entry] : entries_) {
        records.push_back({key, entry.lastAccess.load(std::memory_order_relaxed), entry.size});
        total += entry.size;
    }
    // The recount corrects any drift of the running total. Only holders of
    // the upgradable or exclusive lock change it, so storing is safe here.
    totalBytes_.store(total);
    return records;
}

void ResultCache::SortOldestFirst(std::vector<EvictionRecord>& records) {
    std::sort(records.begin(), records.end(), [](const EvictionRecord& a, const EvictionRecord& b) {
        return a.lastAccess < b.lastAccess;
    });
}

int ResultCache::EvictOldest(const std::vector<EvictionRecord>& oldestFirst, int64_t excess,
                             boost::upgrade_lock<boost::upgrade_mutex>& upgradable) {
    int removed = 0;
    int64_t freed = 0;
    for (const EvictionRecord& record : oldestFirst) {
        // The record that would bring the cache down to its limit stays.
        freed += record.size;
        if (freed >= excess)
            break;
        boost::upgrade_to_unique_lock<boost::upgrade_mutex> exclusive(upgradable);
        auto it = entries_.find(record.key);
        if (it == entries_.end())
            continue;  // dropped by a lookup since the snapshot
        danglingFiles_.Push(it->second.path);
        totalBytes_.fetch_sub(it->second.size);
        entries_.erase(it);
        ++removed;
    }
    return removed;
}

void ResultCache::ReportStatistics() {
    int64_t hits, lookups, totalHits, totalLookups, bytes;
    size_t items;
    {
        boost::upgrade_lock<boost::upgrade_mutex> upgradable(lock_);
        boost::upgrade_to_unique_lock<boost::upgrade_mutex> exclusive(upgradable);
        hits = hitsInPeriod_.exchange(0);
        lookups = lookupsInPeriod_.exchange(0);
        hitsBeforePeriod_ += hits;
        lookupsBeforePeriod_ += lookups;
        totalHits = hitsBeforePeriod_;
        totalLookups = lookupsBeforePeriod_;
        items = entries_.size();
        bytes = totalBytes_.load();
    }
    // The figures were taken together; the log is written outside the lock
    // so that lookups do not wait for the disk.
    if (lookups <= 0)
        return;
    log_.WriteLine("Cache hit ratio: %.2f%% (%" PRId64 "/%" PRId64 ")\r\n",
                   static_cast<double>(hits) * 100 / static_cast<double>(lookups), hits, lookups);
    log_.WriteLine("Total cache hit ratio: %.2f%% (%" PRId64 "/%" PRId64 ")\r\n",
                   static_cast<double>(totalHits) * 100 / static_cast<double>(totalLookups),
                   totalHits, totalLookups);
    log_.WriteLine("Cache storage info: %d items(%.2fMB)\r\n", static_cast<int>(items),
                   static_cast<double>(bytes) / 1048576);
}
