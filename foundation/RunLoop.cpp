#include "foundation/RunLoop.h"

#include <algorithm>

namespace platform {

RunLoop::RunLoop(Clock& clock) : clock_(&clock), owner_(std::this_thread::get_id()) {}

RunLoop& RunLoop::main() {
    static RunLoop loop;
    return loop;
}

void RunLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(task));
    }
    wake();
}

void RunLoop::postAfter(Clock::Duration delay, Task task) {
    {
        std::lock_guard lock(mutex_);
        timers_.push(Timer{clock_->now() + delay, sequence_++, std::move(task)});
    }
    wake();
}

void RunLoop::wake() {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        wake = wake_;
    }
    arrived_.notify_all();
    if (wake) wake();
}

size_t RunLoop::runUntilIdle() {
    size_t ran = 0;
    for (;;) {
        std::vector<Task> batch;
        {
            std::lock_guard lock(mutex_);
            const auto now = clock_->now();
            // Due timers join in due order, after the tasks already posted.
            batch.swap(ready_);
            while (!timers_.empty() && timers_.top().due <= now) {
                batch.push_back(std::move(const_cast<Timer&>(timers_.top()).task));
                timers_.pop();
            }
        }
        if (batch.empty()) return ran;
        for (Task& t : batch) {
            t();
            ++ran;
        }
    }
}

bool RunLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    // A condition may be set by a thread that never posts (an audio or writer
    // thread's counters), so it is re-checked at short intervals as well.
    constexpr auto recheck = std::chrono::milliseconds(5);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        runUntilIdle();
        if (done()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::unique_lock lock(mutex_);
        arrived_.wait_until(lock, std::min(deadline, now + recheck),
                            [&] { return !ready_.empty(); });
    }
}

std::optional<Clock::TimePoint> RunLoop::nextTimerDeadline() const {
    std::lock_guard lock(mutex_);
    if (timers_.empty()) return std::nullopt;
    return timers_.top().due;
}

Clock& RunLoop::clock() const {
    std::lock_guard lock(mutex_);
    return *clock_;
}

void RunLoop::setClock(Clock& clock) {
    std::lock_guard lock(mutex_);
    clock_ = &clock;
}

void RunLoop::bind(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

bool RunLoop::isCurrentThread() const {
    std::lock_guard lock(mutex_);
    return owner_ == std::this_thread::get_id();
}

void RunLoop::adoptCurrentThread() {
    std::lock_guard lock(mutex_);
    owner_ = std::this_thread::get_id();
}

}  // namespace platform
