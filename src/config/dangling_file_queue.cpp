#include "config/dangling_file_queue.h"

namespace Vs5Util {

void DanglingFileQueue::Push(std::string path) {
    std::lock_guard<std::mutex> guard(lock_);
    paths_.push_back(std::move(path));
}

bool DanglingFileQueue::TryPop(std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    if (paths_.empty())
        return false;
    path = std::move(paths_.front());
    paths_.pop_front();
    return true;
}

size_t DanglingFileQueue::size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return paths_.size();
}

std::vector<std::string> DanglingFileQueue::Snapshot() const {
    std::lock_guard<std::mutex> guard(lock_);
    return std::vector<std::string>(paths_.begin(), paths_.end());
}

void DanglingFileQueue::PushAll(std::vector<std::string> paths) {
    std::lock_guard<std::mutex> guard(lock_);
    for (std::string& path : paths)
        paths_.push_back(std::move(path));
}

}  // namespace Vs5Util
