// Files whose cache entries were evicted and that still wait to be deleted.
// Eviction appends to it while holding the cache lock; the file remover thread
// takes one path at a time and deletes the file outside every lock. The queue
// is saved to and restored from delindex.dat across restarts.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class DanglingFileQueue {
public:
    void Push(std::string path);
    void PushAll(std::vector<std::string> paths);
    // The oldest path, taken off the queue; nullopt when the queue is empty.
    std::optional<std::string> PopFront();
    size_t Size() const;
    // A copy of the queue in order, for saving.
    std::vector<std::string> Snapshot() const;

private:
    // Guards paths_ only. Taken alone or inside the cache lock, never the
    // other way round.
    mutable std::mutex lock_;
    std::deque<std::string> paths_;
};
