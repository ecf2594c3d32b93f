// What the soak checks after the fact: the result cache against its index
// after a crash and a restart, and counts taken from the server's logs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Soak {

struct IndexEntry {
    std::string key;
    std::string path;
};

// The entries of Cache/index.dat (UTF-8 with a byte-order mark, CR LF,
// "key,path,size").
std::vector<IndexEntry> ReadIndex(const std::string& indexPath);

struct CacheCheck {
    size_t entries = 0;
    size_t missingFiles = 0;  // listed, but the file is gone
    size_t asked = 0;         // listed entries whose GET the soak could repeat
    size_t answeredSame = 0;  // ... that answered the listed path, which exists
    size_t unknown = 0;       // listed paths no GET of the soak answered
    size_t orphans = 0;       // result files in the cache folder the index does not list
    std::vector<std::string> problems;
};

// After a restart on the folder: every listed file exists, and a GET for a
// listed result answers that same path. `answers` maps "source\ncommand" to
// the path the soak was given for it.
CacheCheck CheckCache(const std::string& cacheFolder, uint16_t port,
                      const std::map<std::string, std::string>& answers);

size_t CountOccurrences(const std::string& text, const std::string& part);

}  // namespace Soak
