#include <gtest/gtest.h>

#include "foundation/DispatchQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/RunLoop.h"

using platform::Notification;
using platform::NotificationCenter;
using platform::NotificationToken;
using platform::Value;

TEST(NotificationCenter, DeliversSynchronouslyByNameAndObjectWithUserInfo) {
    NotificationCenter center;
    int sender = 0, other = 0;
    std::vector<std::string> seen;
    auto byName = center.addObserver("A", nullptr, [&](const Notification& n) {
        seen.push_back("name:" + *n.userInfo.find("k")->asString());
    });
    auto byObject = center.addObserver("A", &sender, [&](const Notification&) { seen.push_back("object"); });
    auto all = center.addObserver("", nullptr, [&](const Notification& n) { seen.push_back("all:" + n.name); });

    center.post("A", &sender, Value::Dictionary{{"k", "v"}});
    EXPECT_EQ(seen, (std::vector<std::string>{"name:v", "object", "all:A"}));
    seen.clear();
    center.post("A", &other, Value::Dictionary{{"k", "w"}});
    center.post("B");
    EXPECT_EQ(seen, (std::vector<std::string>{"name:w", "all:A", "all:B"}));
}

TEST(NotificationCenter, TokensRemoveTheirObservationIncludingDuringDelivery) {
    NotificationCenter center;
    int first = 0, second = 0;
    NotificationToken secondToken;
    auto firstToken = center.addObserver("N", nullptr, [&](const Notification&) {
        ++first;
        secondToken.reset();  // an observer removing a later one mid-delivery
    });
    secondToken = center.addObserver("N", nullptr, [&](const Notification&) { ++second; });
    center.post("N");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);

    {
        auto scoped = center.addObserver("N", nullptr, [&](const Notification&) { ++second; });
        center.post("N");
        EXPECT_EQ(second, 1);
    }
    center.post("N");
    EXPECT_EQ(second, 1);
    EXPECT_EQ(first, 3);

    // Moving a token keeps the observation; the moved-from token owns nothing.
    NotificationToken moved = std::move(firstToken);
    firstToken.reset();
    center.post("N");
    EXPECT_EQ(first, 4);
    center.removeObserver(moved);
    center.post("N");
    EXPECT_EQ(first, 4);
}

TEST(NotificationCenter, QueueObserversRunAtOnceOnTheirThreadAndArePostedFromOthers) {
    NotificationCenter center;
    platform::RunLoop loop;
    std::vector<std::thread::id> ranOn;
    auto token = center.addObserver("Q", nullptr, loop, [&](const Notification&) {
        ranOn.push_back(std::this_thread::get_id());
    });
    center.post("Q");
    ASSERT_EQ(ranOn.size(), 1u) << "posted on the queue's thread: delivered at once";

    platform::DispatchQueue background("bg");
    background.async([&] { center.post("Q"); });
    background.waitUntilIdle();
    EXPECT_EQ(ranOn.size(), 1u);
    loop.runUntilIdle();
    ASSERT_EQ(ranOn.size(), 2u);
    EXPECT_EQ(ranOn[1], std::this_thread::get_id());

    // Removed before the queue ran: the pending delivery is dropped.
    background.async([&] { center.post("Q"); });
    background.waitUntilIdle();
    token.reset();
    loop.runUntilIdle();
    EXPECT_EQ(ranOn.size(), 2u);
}
