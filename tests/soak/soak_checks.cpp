#include "soak/soak_checks.h"

#include <filesystem>
#include <set>

#include "client/connection.h"
#include "client/verb_requests.h"
#include "support/temp_dir.h"

namespace Soak {

namespace fs = std::filesystem;

std::vector<IndexEntry> ReadIndex(const std::string& indexPath) {
    std::string text = vstest::ReadFile(indexPath);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    std::vector<IndexEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t first = line.find(',');
        const size_t last = line.rfind(',');
        if (first == std::string::npos || last == first)
            continue;
        entries.push_back({line.substr(0, first), line.substr(first + 1, last - first - 1)});
    }
    return entries;
}

namespace {

// Asks GET for every listed result the soak knows the request of.
void RepeatRequests(const std::vector<IndexEntry>& entries, uint16_t port,
                    const std::map<std::string, std::string>& answers, CacheCheck& check) {
    std::map<std::string, std::string> requestOf;  // path -> "source\ncommand"
    for (const auto& [request, path] : answers)
        requestOf.emplace(path, request);
    VsClient::Connection connection;
    for (const IndexEntry& entry : entries) {
        auto it = requestOf.find(entry.path);
        if (it == requestOf.end()) {
            ++check.unknown;
            continue;
        }
        ++check.asked;
        const size_t split = it->second.find('\n');
        VsClient::Response r;
        std::string path;
        if (!connection.connected() && !connection.Connect("127.0.0.1", port, 120000)) {
            check.problems.push_back("cannot connect after the restart");
            return;
        }
        const bool answered = connection.Request(
            VsClient::BuildGetFrame(it->second.substr(0, split), it->second.substr(split + 1)), r);
        if (answered && r.status == 0 &&
            VsClient::PayloadBareText(r, VsClient::kEncodingUtf16, 0, path) && path == entry.path &&
            fs::exists(path)) {
            ++check.answeredSame;
        } else if (check.problems.size() < 10) {
            check.problems.push_back(
                "GET " + it->second.substr(split + 1) + " answered " +
                (answered ? std::to_string(r.status) + " " + path : std::string("nothing")) +
                " instead of " + entry.path);
        }
        if (!answered)
            connection.Close();
    }
}

}  // namespace

CacheCheck CheckCache(const std::string& cacheFolder, uint16_t port,
                      const std::map<std::string, std::string>& answers) {
    CacheCheck check;
    std::vector<IndexEntry> entries = ReadIndex(cacheFolder + "/index.dat");
    check.entries = entries.size();
    std::set<std::string> listed;
    for (const IndexEntry& entry : entries) {
        listed.insert(entry.path);
        if (!fs::exists(entry.path)) {
            ++check.missingFiles;
            if (check.problems.size() < 10)
                check.problems.push_back("listed but missing: " + entry.path);
        }
    }
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(cacheFolder, ec)) {
        const std::string name = e.path().filename().string();
        if (e.is_regular_file() && !name.empty() && name[0] == '{' &&
            e.path().parent_path().filename() != "nocache" && !listed.count(e.path().string()))
            ++check.orphans;
    }
    RepeatRequests(entries, port, answers, check);
    return check;
}

size_t CountOccurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace Soak
