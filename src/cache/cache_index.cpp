// Loading and saving the cache's index files.
#include <unistd.h>
#include <filesystem>
#include <set>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "cache/index_format.h"
#include "cache/result_cache.h"
#include "config/file_remover.h"
#include "platform/module.h"

namespace {

constexpr const char* kIndexName = "index.dat";
constexpr const char* kQueueName = "delindex.dat";

// The whole file; false when it cannot be opened.
bool ReadWholeFile(const std::string& path, std::string& text) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path.c_str(), "rbe"), fclose);
    if (!file)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file.get())) > 0)
        text.append(buffer, n);
    return true;
}

// A path as a log line can hold it: a line too long for the log would be
// replaced as a whole, and the path with it. The cut falls between characters.
std::string PathForLog(const std::string& path) {
    constexpr size_t kMaxBytes = 600;
    if (path.size() <= kMaxBytes)
        return path;
    size_t cut = kMaxBytes;
    while (cut > 0 && (static_cast<unsigned char>(path[cut]) & 0xC0) == 0x80)
        --cut;
    return path.substr(0, cut) + "...";
}

// A path read from an index file must name a file below the cache folder:
// the cache hands such files out and the file remover deletes them, so a
// damaged or planted index must not reach other files (another folder, a
// relative path, a ".." component, or a NUL that cuts the name short).
bool IsBelowFolder(const std::string& folder, std::string_view path) {
    const std::string prefix = Vs5Platform::JoinPath(folder, "");
    if (prefix.empty() || path.size() <= prefix.size() || path.substr(0, prefix.size()) != prefix)
        return false;
    std::string_view rest = path.substr(prefix.size());
    if (rest.find('\0') != std::string_view::npos)
        return false;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string_view::npos)
            end = rest.size();
        if (rest.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

int ResultCache::LoadIndex(const std::string& folder) {
    const double loadTime = Now();
    log_.WriteLine("%s\r\n", "cache index loading");

    std::string text;
    const bool haveIndex = ReadWholeFile(Vs5Platform::JoinPath(folder, kIndexName), text);
    bool loadedIndex = false;
    int outside = 0;
    if (haveIndex) {
        std::vector<IndexRecord> records = ParseIndexText(text);
        outside += static_cast<int>(std::erase_if(
            records, [&](const IndexRecord& r) { return !IsBelowFolder(folder, r.path); }));
        LoadEntries(records, loadTime);
        log_.WriteLine("cache index loaded: %d\r\n", static_cast<int>(EntryCount()));
        loadedIndex = true;
    } else {
        // Result files without an index can never be found again: start
        // afresh, keeping the sub-folders.
        Vs5Util::CFileRemover remover;
        remover.RemoveOldFiles(folder, "*.*", 0, false, fileClock_());
    }

    std::string queueText;
    if (ReadWholeFile(Vs5Platform::JoinPath(folder, kQueueName), queueText)) {
        std::vector<std::string> paths = ParseQueueText(queueText);
        outside += static_cast<int>(std::erase_if(
            paths, [&](const std::string& path) { return !IsBelowFolder(folder, path); }));
        danglingFiles_.PushAll(std::move(paths));
    }
    if (outside > 0)
        log_.WriteLine("cache index ignores %d paths outside the cache folder\r\n", outside);
    if (loadedIndex)
        QueueUnlistedResults(folder);
    return haveIndex ? 1 : 0;
}

// Result files that neither an entry nor the deletion list names were written
// after the last save of the index by a server that did not stop cleanly (or
// hold a comma and were never written to it). Nothing can find them again
// and they would never count towards the size limit, so they are deleted.
// Only result names ("{uuid}.ext") in the numbered sub-folders are touched.
void ResultCache::QueueUnlistedResults(const std::string& folder) {
    std::set<std::string> known;
    {
        boost::shared_lock<boost::upgrade_mutex> shared(lock_);
        for (const auto& [key, entry] : entries_)
            known.insert(entry.path);
    }
    for (std::string& path : danglingFiles_.Snapshot())
        known.insert(std::move(path));
    int queued = 0;
    std::error_code ec;
    for (const auto& sub : std::filesystem::directory_iterator(folder, ec)) {
        const std::string subName = sub.path().filename().string();
        if (!sub.is_directory(ec) || subName.rfind("cache", 0) != 0)
            continue;
        for (const auto& file : std::filesystem::directory_iterator(sub.path(), ec)) {
            const std::string name = file.path().filename().string();
            const std::string path =
                Vs5Platform::JoinPath(Vs5Platform::JoinPath(folder, subName), name);
            if (name.empty() || name[0] != '{' || !file.is_regular_file(ec) || known.count(path))
                continue;
            danglingFiles_.Push(path);
            ++queued;
        }
    }
    if (queued > 0)
        log_.WriteLine("cache index lists no entry for %d result files; they are deleted\r\n",
                       queued);
}

void ResultCache::LoadEntries(const std::vector<IndexRecord>& records, double loadTime) {
    boost::unique_lock<boost::upgrade_mutex> exclusive(lock_);
    for (const IndexRecord& record : records) {
        // A repeated key keeps its first entry and is counted once.
        auto [it, inserted] = entries_.try_emplace(record.key, record.path, record.size, loadTime);
        if (inserted)
            totalBytes_.fetch_add(record.size);
    }
}

int ResultCache::SaveIndex(const std::string& folder) {
    IndexText index = FormatIndex();
    log_.WriteLine("cache index saving: %d\r\n", static_cast<int>(index.entries));
    // Such a line would load back split in the wrong place; the entries stay
    // in memory until the service stops. One line for all of them: when the
    // cache folder itself holds a comma, every entry is concerned.
    if (index.unstorable > 0)
        log_.WriteLine(
            "cache index cannot hold %d paths (a comma, a line break or too long), such as %s\r\n",
            static_cast<int>(index.unstorable), PathForLog(index.firstUnstorable).c_str());

    std::string error;
    const bool saved = ReplaceFileContent(Vs5Platform::JoinPath(folder, kIndexName), index.text,
                                          beforeRename_, error);
    if (!saved)
        log_.WriteLine("cache index not saved, the previous one stays: %s\r\n", error.c_str());
    log_.WriteLine("%s\r\n", "cache index saved");

    SaveQueue(folder);
    return saved ? 1 : 0;
}

ResultCache::IndexText ResultCache::FormatIndex() const {
    IndexText index;
    index.text = kIndexSignature;
    boost::shared_lock<boost::upgrade_mutex> shared(lock_);
    index.entries = entries_.size();
    for (const auto& [key, entry] : entries_) {
        if (auto line = FormatIndexLine(key, entry.path, entry.size)) {
            index.text += *line;
        } else if (index.unstorable++ == 0) {
            index.firstUnstorable = entry.path;
        }
    }
    return index;
}

void ResultCache::SaveQueue(const std::string& folder) {
    const std::string path = Vs5Platform::JoinPath(folder, kQueueName);
    std::vector<std::string> queued = danglingFiles_.Snapshot();
    if (queued.empty()) {
        unlink(path.c_str());
        return;
    }
    std::string text(kIndexSignature);
    for (const std::string& queuedPath : queued) {
        if (auto line = FormatQueueLine(queuedPath))
            text += *line;
        else
            log_.WriteLine("cache deletion list cannot hold the path %s\r\n",
                           PathForLog(queuedPath).c_str());
    }
    std::string error;
    if (!ReplaceFileContent(path, text, beforeRename_, error))
        log_.WriteLine("cache deletion list not saved: %s\r\n", error.c_str());
}
