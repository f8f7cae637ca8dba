#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/DispatchQueue.h"
#include "foundation/RunLoop.h"

using namespace std::chrono_literals;
using platform::ManualClock;
using platform::RunLoop;

TEST(RunLoop, RunsTasksInPostOrderIncludingThosePostedWhileRunning) {
    ManualClock clock;
    RunLoop loop(clock);
    std::vector<int> order;
    loop.post([&] {
        order.push_back(1);
        loop.post([&] { order.push_back(3); });
    });
    loop.post([&] { order.push_back(2); });
    EXPECT_EQ(loop.runUntilIdle(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loop.runUntilIdle(), 0u);
}

TEST(RunLoop, TimersFireOnlyWhenTheClockReachesThemInDueOrder) {
    ManualClock clock;
    RunLoop loop(clock);
    std::vector<std::string> fired;
    loop.postAfter(2s, [&] { fired.push_back("2s"); });
    loop.postAfter(1s, [&] { fired.push_back("1s-a"); });
    loop.postAfter(1s, [&] { fired.push_back("1s-b"); });
    loop.runUntilIdle();
    EXPECT_TRUE(fired.empty());
    ASSERT_TRUE(loop.nextTimerDeadline());
    EXPECT_EQ(*loop.nextTimerDeadline(), clock.now() + 1s);

    clock.advance(1s);
    loop.runUntilIdle();
    EXPECT_EQ(fired, (std::vector<std::string>{"1s-a", "1s-b"}));

    // A zero-delay timer posted from a task is due at once.
    loop.post([&] { loop.postAfter(0s, [&] { fired.push_back("now"); }); });
    clock.advance(5s);
    loop.runUntilIdle();
    EXPECT_EQ(fired, (std::vector<std::string>{"1s-a", "1s-b", "2s", "now"}));
    EXPECT_FALSE(loop.nextTimerDeadline());
}

TEST(RunLoop, WorkFromOtherThreadsWakesTheBoundLoopAndRunsOnItsThread) {
    RunLoop loop;
    std::atomic<int> wakes{0};
    loop.bind([&] { ++wakes; });
    std::thread::id ranOn;
    platform::DispatchQueue queue("test");
    queue.async([&] { loop.post([&] { ranOn = std::this_thread::get_id(); }); });
    ASSERT_TRUE(loop.runUntil([&] { return ranOn != std::thread::id(); }));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    queue.waitUntilIdle();  // the poster calls wake after handing over the task
    EXPECT_GE(wakes.load(), 1);
    EXPECT_TRUE(loop.isCurrentThread());

    bool onOther = true;
    std::thread([&] { onOther = loop.isCurrentThread(); }).join();
    EXPECT_FALSE(onOther);
}

TEST(RunLoop, RunUntilSeesAConditionAnotherThreadSetsWithoutPosting) {
    RunLoop loop;
    std::atomic<int> checks{0};
    std::atomic<bool> set{false};
    std::thread writer([&] {
        while (checks.load() == 0) std::this_thread::yield();
        set = true;
    });
    // Set after the first check: without re-checking, this blocks for the hour.
    EXPECT_TRUE(loop.runUntil([&] { ++checks;
        return set.load(); }, 1h));
    writer.join();
}

TEST(DispatchQueue, SerialQueueRunsInOrderAndConcurrentQueueUsesSeveralThreads) {
    platform::DispatchQueue serial("serial");
    std::vector<int> order;
    for (int i = 0; i < 100; ++i) serial.async([&order, i] { order.push_back(i); });
    serial.waitUntilIdle();
    ASSERT_EQ(order.size(), 100u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));

    // Two tasks that each wait for the other can only finish side by side.
    platform::DispatchQueue pool("pool", 2);
    std::atomic<int> arrived{0};
    std::atomic<bool> bothSeen{true};
    for (int i = 0; i < 2; ++i) {
        pool.async([&] {
            ++arrived;
            auto deadline = std::chrono::steady_clock::now() + 5s;
            while (arrived < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
            if (arrived < 2) bothSeen = false;
        });
    }
    pool.waitUntilIdle();
    EXPECT_TRUE(bothSeen);
}
