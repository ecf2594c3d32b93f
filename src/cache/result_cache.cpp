#include "cache/result_cache.h"

#include <sys/stat.h>

#include <mutex>

#include "cache/cache_key.h"
#include "cache/result_path.h"
#include "config/configuration.h"
#include "platform/module.h"
#include "platform/uuid.h"

namespace {

std::mutex gInstanceLock;
std::unique_ptr<ResultCache> gInstance;

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

uint32_t FileSize(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(st.st_size));
}

}  // namespace

ResultCacheSetup SetupFromConfiguration(Configuration& config) {
    ResultCacheSetup setup;
    setup.cacheFolder = config.cacheFolder();
    setup.noCacheFolder = config.noCacheFolder();
    setup.settings = [&config] { return config.settings(); };
    setup.systemLog = &config.systemLog();
    return setup;
}

ResultCache& ResultCache::Instance() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    if (!gInstance)
        gInstance =
            std::make_unique<ResultCache>(SetupFromConfiguration(Configuration::Instance()));
    return *gInstance;
}

ResultCache* ResultCache::ExistingInstance() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    return gInstance.get();
}

void ResultCache::DestroyInstance() {
    std::unique_ptr<ResultCache> doomed;
    std::lock_guard<std::mutex> guard(gInstanceLock);
    doomed = std::move(gInstance);
}

ResultCache::ResultCache(ResultCacheSetup setup)
    : cacheFolder_(std::move(setup.cacheFolder)),
      noCacheFolder_(std::move(setup.noCacheFolder)),
      settings_(std::move(setup.settings)),
      log_(*setup.systemLog),
      clock_(std::move(setup.clock)),
      fileClock_(std::move(setup.fileClock)) {
    // With fewer than one sub-folder configured no folder was created, yet
    // every result then goes to sub-folder 0.
    if (settings_()->cacheSubFolders < 1)
        Vs5Platform::CreateFolder(Vs5Platform::JoinPath(cacheFolder_, SubFolderName(0)));
}

double ResultCache::Now() const {
    return Vs5Platform::AutomationDate(clock_());
}

bool ResultCache::MakeKey(const std::string& sourcePath, const std::string& defaultCommand,
                          const std::string& requestCommand, std::string& key) const {
    std::optional<Vs5Platform::FileTime> written = Vs5Platform::LastWriteTime(sourcePath);
    if (!written)
        return false;
    key = FormatCacheKey(*written, sourcePath, defaultCommand, requestCommand);
    return true;
}

bool ResultCache::Lookup(const std::string& key, std::string& path) {
    {
        boost::shared_lock<boost::upgrade_mutex> shared(lock_);
        lookupsInPeriod_.fetch_add(1, std::memory_order_relaxed);
        auto it = entries_.find(key);
        if (it == entries_.end())
            return false;
        path = it->second.path;
        if (FileExists(path)) {
            it->second.lastAccess.store(Now(), std::memory_order_relaxed);
            hitsInPeriod_.fetch_add(1, std::memory_order_relaxed);
            return true;
        }
    }
    DropStaleEntry(key, path);
    return false;
}

void ResultCache::DropStaleEntry(const std::string& key, const std::string& path) {
    boost::unique_lock<boost::upgrade_mutex> exclusive(lock_);
    auto it = entries_.find(key);
    // Between the shared and the exclusive section another thread may have
    // dropped the entry or put a new file under the same key.
    if (it == entries_.end() || it->second.path != path)
        return;
    totalBytes_.fetch_sub(it->second.size);
    entries_.erase(it);
}

void ResultCache::MakeResultPath(const std::string& sourcePath, bool useCache, std::string& path) {
    std::shared_ptr<const Settings> settings = settings_();
    std::string name = "{";
    name.append(Vs5Platform::NewUuidString()).append("}.");
    name.append(TargetExtension(sourcePath, *settings));
    if (!useCache) {
        path = Vs5Platform::JoinPath(noCacheFolder_, name);
        return;
    }
    uint32_t counter = nameCounter_.fetch_add(1, std::memory_order_relaxed) + 1;
    std::string folder = SubFolderName(SubFolderNumber(counter, settings->cacheSubFolders));
    path = Vs5Platform::JoinPath(Vs5Platform::JoinPath(cacheFolder_, folder), name);
}

bool ResultCache::Insert(const std::string& key, const std::string& path) {
    // The file is measured before the lock is taken: no other thread writes it.
    const uint32_t size = FileSize(path);
    const double now = Now();
    boost::upgrade_lock<boost::upgrade_mutex> upgradable(lock_);
    if (entries_.find(key) != entries_.end())
        return false;
    boost::upgrade_to_unique_lock<boost::upgrade_mutex> exclusive(upgradable);
    entries_.try_emplace(key, path, size, now);
    totalBytes_.fetch_add(size);
    return true;
}

void ResultCache::QueueDeletion(std::string path) {
    danglingFiles_.Push(std::move(path));
}

std::optional<ResultCache::EntryInfo> ResultCache::Peek(const std::string& key) const {
    boost::shared_lock<boost::upgrade_mutex> shared(lock_);
    auto it = entries_.find(key);
    if (it == entries_.end())
        return std::nullopt;
    return EntryInfo{it->second.path, it->second.size, it->second.lastAccess.load()};
}

size_t ResultCache::EntryCount() const {
    boost::shared_lock<boost::upgrade_mutex> shared(lock_);
    return entries_.size();
}
