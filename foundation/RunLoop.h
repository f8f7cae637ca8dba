#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <queue>
#include <thread>
#include <vector>

#include "foundation/Clock.h"

namespace platform {

using Task = std::function<void()>;

// A queue of tasks run on one thread: the main thread's queue in the program.
// Tasks can be posted from any thread. Tests drive it with runUntilIdle();
// the GUI binds it to its own event loop with bind().
class RunLoop {
public:
    explicit RunLoop(Clock& clock = Clock::system());
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // The process's main run loop, owned by the thread that first asks for
    // it (or adopted later with adoptCurrentThread()).
    static RunLoop& main();

    // Runs `task` at the next turn of the loop, after those already posted.
    void post(Task task);
    // Runs `task` once the clock has moved `delay` past now.
    void postAfter(Clock::Duration delay, Task task);

    // Runs every task that is ready, including those posted meanwhile, and
    // timers that are due by the clock. Returns the number of tasks run.
    size_t runUntilIdle();

    // Runs until `done` returns true, blocking for work from other threads
    // in between (never for timers: those need the clock to move). Returns
    // false if `timeout` of real time passes first; for tests that wait on
    // a background queue.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // When the next timer is due, if any; a bound event loop sleeps until then.
    std::optional<Clock::TimePoint> nextTimerDeadline() const;

    // Lets another event loop drive this one: `wake` is called (from any
    // thread) whenever new work arrives; the host then calls runUntilIdle()
    // on the loop's thread. An empty function unbinds.
    void bind(std::function<void()> wake);

    // Whether the caller runs on this loop's thread.
    bool isCurrentThread() const;
    // Makes the calling thread this loop's thread.
    void adoptCurrentThread();

    Clock& clock() const;
    // Tests put the main loop on a manual clock; pending timers keep their due times.
    void setClock(Clock& clock);

private:
    struct Timer {
        Clock::TimePoint due;
        uint64_t sequence;
        Task task;
    };
    struct Later {
        bool operator()(const Timer& a, const Timer& b) const {
            return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
        }
    };

    void wake();

    Clock* clock_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Task> ready_;
    std::priority_queue<Timer, std::vector<Timer>, Later> timers_;
    uint64_t sequence_ = 0;
    std::function<void()> wake_;
    std::thread::id owner_;
};

// The main queue: shorthand for posting to RunLoop::main().
namespace MainQueue {
inline void async(Task task) { RunLoop::main().post(std::move(task)); }
inline void asyncAfter(Clock::Duration delay, Task task) {
    RunLoop::main().postAfter(delay, std::move(task));
}
inline bool isCurrent() { return RunLoop::main().isCurrentThread(); }
}  // namespace MainQueue

}  // namespace platform
