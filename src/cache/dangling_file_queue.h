// Files whose cache entries were evicted and that still wait to be deleted.
// Eviction appends to it while holding the cache lock; the file remover thread
// takes one path at a time and deletes the file outside every lock. The queue
// is saved to and restored from delindex.dat across restarts.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace Vs5Util {

class DanglingFileQueue {
public:
    void Push(std::string path);
    void PushAll(std::vector<std::string> paths);
    // Takes the oldest path off the queue; false when the queue is empty.
    bool TryPop(std::string& path);
    size_t size() const;
    // A copy of the queue, oldest first, for saving.
    std::vector<std::string> Snapshot() const;

private:
    // Guards paths_ only. Taken alone or inside the cache lock, never the
    // other way round.
    mutable std::mutex lock_;
    std::deque<std::string> paths_;
};

}  // namespace Vs5Util
