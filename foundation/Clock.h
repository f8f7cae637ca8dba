#pragma once

#include <atomic>
#include <chrono>
#include <mutex>

#include "foundation/Value.h"

namespace platform {

// The one source of time. Components take a Clock so tests can move time by
// hand instead of waiting.
class Clock {
public:
    using Duration = std::chrono::nanoseconds;
    // Monotonic time for timers and intervals.
    using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

    virtual ~Clock() = default;

    virtual TimePoint now() const = 0;
    // Wall-clock time as the platform's date.
    virtual Date date() const = 0;

    // The process's real clock.
    static Clock& system();
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override;
    Date date() const override;
};

// A clock that moves only when told to; monotonic and wall time move together.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Date start = Date{800000000.0});

    TimePoint now() const override;
    Date date() const override;

    void advance(Duration d);
    void advanceSeconds(double seconds) {
        advance(std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds)));
    }
    // Sets the wall clock only, as a user changing the system time would.
    void setDate(Date d);

private:
    mutable std::mutex mutex_;
    Duration elapsed_{0};
    Date date_;
};

}  // namespace platform
