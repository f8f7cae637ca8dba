#include "foundation/DispatchQueue.h"

#include <algorithm>

namespace platform {

DispatchQueue::DispatchQueue(std::string label, unsigned threads) : label_(std::move(label)) {
    threads = std::max(1u, threads);
    workers_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

DispatchQueue::~DispatchQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& t : workers_) t.join();
}

void DispatchQueue::async(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    changed_.notify_one();
}

void DispatchQueue::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return tasks_.empty() && running_ == 0; });
}

void DispatchQueue::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty()) return;  // stopping and drained
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        ++running_;
        lock.unlock();
        task();
        lock.lock();
        --running_;
        changed_.notify_all();
    }
}

DispatchQueue& globalQueue(QueuePriority priority) {
    const unsigned n = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
    static DispatchQueue high("global.high", n);
    static DispatchQueue normal("global.default", n);
    static DispatchQueue low("global.low", n);
    static DispatchQueue background("global.background", 1);
    switch (priority) {
        case QueuePriority::High: return high;
        case QueuePriority::Default: return normal;
        case QueuePriority::Low: return low;
        case QueuePriority::Background: return background;
    }
    return normal;
}

}  // namespace platform
