#include "foundation/Clock.h"

namespace platform {

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}

Clock::TimePoint SystemClock::now() const {
    return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
}

Date SystemClock::date() const {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return Date::fromUnixSeconds(std::chrono::duration<double>(since).count());
}

ManualClock::ManualClock(Date start) : date_(start) {}

Clock::TimePoint ManualClock::now() const {
    std::lock_guard lock(mutex_);
    return TimePoint(elapsed_);
}

Date ManualClock::date() const {
    std::lock_guard lock(mutex_);
    return date_;
}

void ManualClock::advance(Duration d) {
    std::lock_guard lock(mutex_);
    elapsed_ += d;
    date_.secondsSinceReferenceDate += std::chrono::duration<double>(d).count();
}

void ManualClock::setDate(Date d) {
    std::lock_guard lock(mutex_);
    date_ = d;
}

}  // namespace platform
