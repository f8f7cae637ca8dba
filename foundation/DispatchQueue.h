#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/RunLoop.h"

namespace platform {

// Tasks run off the main thread, on `threads` workers; one worker makes a
// serial queue (tasks run one at a time, in order).
class DispatchQueue {
public:
    explicit DispatchQueue(std::string label, unsigned threads = 1);
    ~DispatchQueue();  // runs what is queued, then joins
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    void async(Task task);
    // Blocks until every task queued so far has finished (tests and shutdown).
    void waitUntilIdle();

    const std::string& label() const { return label_; }

private:
    void work();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task> tasks_;
    size_t running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

enum class QueuePriority { High, Default, Low, Background };

// The process's shared concurrent queues. All priorities share one small
// pool per priority; the desktop has no quality-of-service classes.
DispatchQueue& globalQueue(QueuePriority priority = QueuePriority::Default);

}  // namespace platform
