#include "ui/platform/Timer.h"

#include <QGuiApplication>
#include <QScreen>
#include <chrono>

#include "foundation/RunLoop.h"

namespace platform {

struct Timer::State {
    Clock::Duration interval;
    std::function<void()> fire;
    Missed missed;
    Clock::TimePoint due;
    bool valid = true;
};

void Timer::schedule(const std::shared_ptr<State>& state) {
    RunLoop& loop = RunLoop::main();
    const auto delay = std::max(Clock::Duration::zero(), state->due - loop.clock().now());
    loop.postAfter(delay, [weak = std::weak_ptr<State>(state)] {
        auto s = weak.lock();
        if (!s || !s->valid) return;
        const auto now = RunLoop::main().clock().now();
        s->due += s->interval;
        if (s->missed == Missed::Skip && s->due <= now) s->due = now + s->interval;
        schedule(s);
        // The callback may end the timer: keep the state until it returns.
        auto fire = s->fire;
        fire();
    });
}

Timer::Timer(double interval, std::function<void()> fire, Missed missed)
    : state_(std::make_shared<State>()) {
    state_->interval =
        std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(interval));
    state_->fire = std::move(fire);
    state_->missed = missed;
    state_->due = RunLoop::main().clock().now() + state_->interval;
    schedule(state_);
}

Timer::~Timer() {
    invalidate();
}

void Timer::invalidate() {
    state_->valid = false;
}

bool Timer::isValid() const {
    return state_->valid;
}

double Timer::interval() const {
    return std::chrono::duration<double>(state_->interval).count();
}

DisplayLink::DisplayLink(std::function<void()> fire)
    : Timer(frameInterval(), std::move(fire), Missed::Skip) {}

double DisplayLink::frameInterval() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double rate = screen ? screen->refreshRate() : 0;
    return 1.0 / (rate > 1 ? rate : 60.0);
}

}  // namespace platform
