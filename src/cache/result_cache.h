// The result cache: maps a cache key (one source version and one pair of
// commands) to the result file that a GET request produced for it. It lives
// in memory, is carried across restarts by index.dat and delindex.dat, and is
// trimmed to its configured size by the maintenance thread.
#pragma once

#include <atomic>
#include <boost/thread/shared_mutex.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cache/index_format.h"
#include "cache/replace_file.h"
#include "config/cache_maintenance.h"
#include "config/log_file.h"
#include "config/settings.h"
#include "platform/file_time.h"
#include "platform/local_time.h"

class Configuration;

struct CacheEntry {
    CacheEntry(std::string p, uint32_t s, double access)
        : path(std::move(p)), size(s), lastAccess(access) {}

    const std::string path;
    const uint32_t size;  // low 32 bits of the file size
    // Local time of the last hit (an automation date). Lookups set it while
    // holding the lock only in shared mode, hence atomic.
    std::atomic<double> lastAccess;
};

// What a cache needs from its surroundings.
struct ResultCacheSetup {
    std::string cacheFolder;    // holds the numbered sub-folders and the index files
    std::string noCacheFolder;  // results made while the cache is off
    std::function<std::shared_ptr<const Settings>()> settings;
    LogFile* systemLog = nullptr;                           // must outlive the cache
    Vs5Platform::LocalClock clock = Vs5Platform::LocalNow;  // last-access times
    // "Now" for emptying a cache folder that has no index.
    std::function<Vs5Platform::FileTime()> fileClock = Vs5Platform::FileTimeNow;
};

// The setup of the process-wide cache: folders, settings and system log of
// the configuration.
ResultCacheSetup SetupFromConfiguration(Configuration& config);

class ResultCache : public Vs5Util::CacheMaintenance {
public:
    explicit ResultCache(ResultCacheSetup setup);
    ResultCache(const ResultCache&) = delete;
    ResultCache& operator=(const ResultCache&) = delete;

    // The process-wide cache, created on first use from the process-wide
    // configuration.
    static ResultCache& Instance();
    // The process-wide cache if it was created, else nullptr.
    static ResultCache* ExistingInstance();
    static void DestroyInstance();

    // The key of a request: false (key untouched) when the source is missing.
    bool MakeKey(const std::string& sourcePath, const std::string& defaultCommand,
                 const std::string& requestCommand, std::string& key) const;

    // True when the key names a result file that still exists; `path` is set
    // to the entry's path whenever the key is found. An entry whose file is
    // gone is dropped.
    bool Lookup(const std::string& key, std::string& path);

    // A fresh path for a result file: a numbered sub-folder of the cache
    // folder, or the no-cache folder when `useCache` is off.
    void MakeResultPath(const std::string& sourcePath, bool useCache, std::string& path);

    // Adds an entry for a result file just written. False when the key is
    // already there: the caller then deletes its own duplicate file.
    bool Insert(const std::string& key, const std::string& path);

    // Hands a file to the file remover thread.
    void QueueDeletion(std::string path);

    // Reads index.dat and delindex.dat from `folder`: 1 when index.dat was
    // read, 0 when it could not be opened (the folder is then emptied).
    int LoadIndex(const std::string& folder);
    // Writes both index files into `folder`: 1 when index.dat was written.
    int SaveIndex(const std::string& folder);

    // Evicts the least recently used entries once the cache exceeds its
    // limit by 5 MiB or more.
    void Invalidate() override;
    // Writes the hit ratios and the storage size to the system log and
    // restarts the period counters.
    void ReportStatistics() override;

    Vs5Util::DanglingFileQueue* danglingFiles() override { return &danglingFiles_; }

    // What an entry holds, without counting a lookup; for tests and tools.
    struct EntryInfo {
        std::string path;
        uint32_t size = 0;
        double lastAccess = 0;
    };
    std::optional<EntryInfo> Peek(const std::string& key) const;
    size_t EntryCount() const;
    int64_t TotalBytes() const { return totalBytes_.load(); }

    void SetBeforeRenameHookForTesting(BeforeRenameHook hook) { beforeRename_ = std::move(hook); }

private:
    friend class ResultCacheTestPeer;

    using Entries = std::map<std::string, CacheEntry>;
    struct EvictionRecord {
        std::string key;
        double lastAccess = 0;
        uint32_t size = 0;
    };

    double Now() const;
    void DropStaleEntry(const std::string& key, const std::string& path);
    void LoadEntries(const std::vector<IndexRecord>& records, double loadTime);
    void QueueUnlistedResults(const std::string& folder);
    struct IndexText {
        std::string text;  // the whole index.dat
        size_t entries = 0;
        size_t unstorable = 0;  // entries left out
        std::string firstUnstorable;
    };
    IndexText FormatIndex() const;
    void SaveQueue(const std::string& folder);
    // Eviction steps; the caller holds `upgradable`.
    std::vector<EvictionRecord> SnapshotForEviction();
    static void SortOldestFirst(std::vector<EvictionRecord>& records);
    int EvictOldest(const std::vector<EvictionRecord>& oldestFirst, int64_t excess,
                    boost::upgrade_lock<boost::upgrade_mutex>& upgradable);

    const std::string cacheFolder_;
    const std::string noCacheFolder_;
    const std::function<std::shared_ptr<const Settings>()> settings_;
    LogFile& log_;
    const Vs5Platform::LocalClock clock_;
    const std::function<Vs5Platform::FileTime()> fileClock_;
    BeforeRenameHook beforeRename_;

    // Guards entries_ and every change to totalBytes_. Lookups hold it shared;
    // insertion, eviction and statistics hold it upgradable and take it
    // exclusively for each change of the map. The queue lock may be taken
    // inside it, never the other way round.
    mutable boost::upgrade_mutex lock_;
    Entries entries_;
    std::atomic<int64_t> totalBytes_{0};  // read without the lock by Invalidate's first test

    // Changed by shared-mode lookups, hence atomic, and kept on their own
    // cache line away from the lock's state. The statistics report moves them
    // into the totals below under the exclusive lock, so a lookup pays for two
    // counters, not four.
    alignas(64) std::atomic<int64_t> hitsInPeriod_{0};
    std::atomic<int64_t> lookupsInPeriod_{0};
    // Hits and lookups of the periods already reported; guarded by lock_.
    alignas(64) int64_t hitsBeforePeriod_ = 0;
    int64_t lookupsBeforePeriod_ = 0;

    std::atomic<uint32_t> nameCounter_{0};  // picks the sub-folder of each new result

    Vs5Util::DanglingFileQueue danglingFiles_;  // has its own lock
};
