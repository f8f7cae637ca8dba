#pragma once

#include <functional>
#include <memory>

namespace platform {

// A repeating timer on the main run loop, timed by the loop's clock, so
// tests move it with a manual clock. Stops when invalidated or destroyed;
// the callback may invalidate or destroy the timer.
class Timer {
public:
    enum class Missed {
        // Each fire is due one interval after the previous one was due: a
        // loop that was held up catches up and the count of fires keeps to
        // the time that passed.
        CatchUp,
        // Fires once for whatever was missed, then keeps the interval from
        // now: frames that were not drawn are not drawn late.
        Skip,
    };

    Timer(double interval, std::function<void()> fire, Missed missed = Missed::CatchUp);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void invalidate();
    bool isValid() const;
    double interval() const;

private:
    struct State;
    static void schedule(const std::shared_ptr<State>& state);
    std::shared_ptr<State> state_;
};

// Calls back once per refresh of the primary screen, on the main run loop.
class DisplayLink : public Timer {
public:
    explicit DisplayLink(std::function<void()> fire);
    // Seconds between two refreshes of the primary screen (60 Hz without one).
    static double frameInterval();
};

}  // namespace platform
