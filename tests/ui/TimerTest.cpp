#include "foundation/RunLoop.h"
#include "ui/UiTest.h"
#include "ui/platform/Timer.h"

using namespace platform;

namespace {

class TimerTest : public uitest::UiTest {};

TEST_F(TimerTest, CatchingUpCountsEveryIntervalThatPassed) {
    int fired = 0;
    Timer timer(1.0, [&] { ++fired; });
    uitest::advance(0.999);
    EXPECT_EQ(fired, 0);
    uitest::advance(0.001);
    EXPECT_EQ(fired, 1);
    uitest::advance(2.5);  // a loop held up for 2.5 s
    EXPECT_EQ(fired, 3);
    uitest::advance(0.5);
    EXPECT_EQ(fired, 4) << "the phase is kept: due at 4.0";
}

TEST_F(TimerTest, SkippingFiresOnceForAGapAndKeepsTheIntervalFromThen) {
    int fired = 0;
    Timer timer(
        0.1, [&] { ++fired; }, Timer::Missed::Skip);
    uitest::advance(1.0);
    EXPECT_EQ(fired, 1);
    uitest::advance(0.1);
    EXPECT_EQ(fired, 2);
}

TEST_F(TimerTest, EndsWhenInvalidatedOrDestroyedEvenFromItsCallback) {
    int fired = 0;
    std::unique_ptr<Timer> timer;
    timer = std::make_unique<Timer>(1.0, [&] {
        ++fired;
        timer.reset();
    });
    uitest::advance(5);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer);

    DisplayLink link([&] { ++fired; });
    link.invalidate();
    uitest::advance(1);
    EXPECT_EQ(fired, 1);
}

}  // namespace
