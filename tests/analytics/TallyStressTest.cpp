// Many threads call the SDK at once while the main loop collects. Meant to
// run under ThreadSanitizer (the tsan preset); elsewhere it checks that
// nothing is lost or duplicated.
#include <atomic>
#include <thread>

#include "TallyHarness.h"

using platform::Value;

using TallyStress = TallyStarted;

TEST_F(TallyStress, ConcurrentCallersLoseNothingAndTheCollectorStaysOnTheMainLoop) {
    constexpr int kThreads = 6;
    constexpr int kPerThread = 200;  // stays below the eight-hour limit
    std::atomic<int> running{kThreads};
    std::vector<std::thread> callers;
    for (int t = 0; t < kThreads; ++t) {
        callers.emplace_back([t, &running] {
            const std::string id = "evt" + std::to_string(t);
            for (int i = 0; i < kPerThread; ++i) {
                Tally::event(id, std::to_string(i));
                Tally::event(id,
                             Tally::Attributes{{"i", Value(std::to_string(i))}, {"n", Value(i)}});
                Tally::beginEvent(id, "timed");
                Tally::endEvent(id, "timed");
                Tally::event(std::string(129, 'x'));  // rejected
                Tally::eventKeyPath(std::vector<std::string>{"a", "b"}, i, "l");
                Tally::beginLogPageView(id);
                Tally::endLogPageView(id);
                Tally::setAppVersion(std::to_string(i));
                Tally::setLatitude(1 + i, 2 + i);
                if (i % 50 == 0) Tally::setLogSendInterval(90 + i);
            }
            --running;
        });
    }
    // The main thread keeps collecting while the callers run.
    while (running > 0) loop.runUntilIdle();
    for (auto& c : callers) c.join();
    loop.runUntilIdle();

    // Plain events and completed timed events, in each thread's order.
    EXPECT_EQ(collector().events.size(), static_cast<size_t>(2 * kThreads * kPerThread));
    EXPECT_EQ(collector().ekv.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_EQ(pipeline->aggregated.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_TRUE(collector().eventBeginTimes.empty());
    std::vector<int> next(kThreads, 0);
    for (const auto& e : collector().events) {
        if (e->label == "timed") continue;
        const int t = e->event_id.back() - '0';
        EXPECT_EQ(e->label, std::to_string(next[t]++));
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kPerThread);
    for (const auto& k : collector().ekv)
        EXPECT_EQ(k->values.size(), 1u);  // the number was skipped
}

TEST_F(TallyStress, LifeCycleNotificationsRaceWithCallers) {
    // The caller's work is bounded, so each turn of the loop ends.
    std::atomic<bool> done{false};
    std::thread caller([&] {
        for (int i = 0; i < 1000; ++i) {
            Tally::event("tick");
            Tally::eventKeyPath(std::vector<std::string>{"k"}, 1, "");
            Tally::startSession();
        }
        done = true;
    });
    size_t cycles = 0;
    while (!done || cycles < 50) {
        post(platform::kApplicationWillResignActiveNotification);
        post(platform::kApplicationDidBecomeActiveNotification);
        ++cycles;
    }
    caller.join();
    loop.runUntilIdle();
    EXPECT_EQ(collector().terminates.size(), cycles);
    EXPECT_FALSE(collector().events.empty());
}
