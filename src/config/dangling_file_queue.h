// Result files waiting to be deleted, first in first out. The result cache
// appends the files it evicts and saves and restores the queue across
// restarts; the file remover thread takes them off one at a time.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace Vs5Util {

class DanglingFileQueue {
public:
    void Push(std::string path);
    // Takes the first path; false when the queue is empty.
    bool TryPop(std::string& path);
    size_t size() const;
    // A copy of the queue, first path first (for saving it).
    std::vector<std::string> Snapshot() const;
    // Appends paths in their order (for restoring the queue).
    void PushAll(std::vector<std::string> paths);

private:
    mutable std::mutex lock_;  // guards paths_
    std::deque<std::string> paths_;
};

}  // namespace Vs5Util
