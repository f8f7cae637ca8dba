#include "TallyHarness.h"

using platform::Value;

using TallySessions = TallyHarness;

TEST_F(TallySessions, StartActivatesOnceOnTheMainLoopAndStoresTheSettings) {
    TLAnalyticsConfig config;
    config.appKey = "key1";
    config.secret = "s3cret";
    config.eSType = 1;
    Tally::startWithConfigure(config);
    EXPECT_EQ(runtime.session().sessionStatus, 0);  // the activation waits for the main loop
    loop.runUntilIdle();

    EXPECT_EQ(runtime.session().sessionStatus, 1);
    EXPECT_EQ(defaults.stringForKey("appkey"), "key1");
    EXPECT_EQ(defaults.stringForKey("asecret"), "s3cret");
    EXPECT_EQ(defaults.integerForKey("scenariotype"), 1);
    EXPECT_EQ(defaults.integerForKey("tlSeparatedTime"), static_cast<int64_t>(kStart));
    EXPECT_EQ(pipeline->count("preparePerformJob:0"), 1u);

    // A second start registers nothing twice and does not activate again.
    config.appKey = "key2";
    Tally::startWithConfigure(config);
    loop.runUntilIdle();
    EXPECT_EQ(defaults.stringForKey("appkey"), "key2");
    post(platform::kApplicationWillResignActiveNotification);
    EXPECT_EQ(collector().terminates.size(), 1u);
}

TEST_F(TallySessions, AnEmptyKeyStartsNothing) {
    start("");
    EXPECT_TRUE(logged("TLLOG:(ERROR) appkey is empty."));
    EXPECT_EQ(runtime.session().sessionStatus, 0);
    EXPECT_TRUE(defaults.objectForKey("appkey").isNull());
}

TEST_F(TallySessions, LeavingEndsTheSessionWithItsPagesAndLocationAndReturningStartsANewOne) {
    start();
    const std::string first = collector().sessionID;
    Tally::setLatitude(31.2, 121.5);
    Tally::setLatitude(0, 121.5);  // refused
    Tally::logPageView("board", 12);
    clock.advanceSeconds(600);
    post(platform::kApplicationWillResignActiveNotification);

    ASSERT_EQ(collector().terminates.size(), 1u);
    const auto& t = *collector().terminates[0];
    EXPECT_EQ(t.duration, 600);
    EXPECT_EQ(t.session_id, first);
    EXPECT_EQ(t.ts, kStart + 600);
    EXPECT_EQ(t.pageViews, (Value::Array{Value(Value::Array{Value("board"), Value(12)})}));
    EXPECT_TRUE(t.hasLocation());
    EXPECT_DOUBLE_EQ(t.latitude, 31.2);
    EXPECT_TRUE(collector().pageItems.empty());
    EXPECT_EQ(runtime.location().fix().latitude, 0);

    // Background records wait in the temporary container for the next session.
    Tally::event("late");
    loop.runUntilIdle();
    EXPECT_TRUE(collector().events.empty());
    ASSERT_EQ(collector().temporary.events.size(), 1u);

    post(platform::kApplicationDidBecomeActiveNotification);
    EXPECT_NE(collector().sessionID, first);
    EXPECT_EQ(collector().events.size(), 1u);
    EXPECT_TRUE(collector().temporary.empty());
    EXPECT_EQ(runtime.app().backgroundTaskId(), 0);
}

TEST_F(TallySessions, DurationsAreWholeSecondsAndLongSessionsReportAnHour) {
    start();
    clock.advanceSeconds(7200);
    post(platform::kApplicationWillResignActiveNotification);
    post(platform::kApplicationDidBecomeActiveNotification);
    clock.advanceSeconds(3 * 3600);
    post(platform::kApplicationWillResignActiveNotification);
    ASSERT_EQ(collector().terminates.size(), 2u);
    EXPECT_EQ(collector().terminates[0]->duration, 7200);
    EXPECT_EQ(collector().terminates[1]->duration, 3600);
    EXPECT_EQ(TallySession::reportedDuration(7200.9), 7200);
    EXPECT_EQ(TallySession::reportedDuration(-5), 0);
}

TEST_F(TallySessions, TerminationEndsTheSessionAtOnceButOnlyOnce) {
    start();
    clock.advanceSeconds(30);
    center.post(platform::kApplicationWillTerminateNotification);  // no loop turn
    ASSERT_EQ(collector().terminates.size(), 1u);
    EXPECT_EQ(collector().terminates[0]->duration, 30);
    EXPECT_EQ(pipeline->count("saveAndCleanCache"), 1u);
    EXPECT_TRUE(runtime.session().appBeKilling);

    // After leaving, termination does not count the session twice.
    center.post(platform::kApplicationDidBecomeActiveNotification);
    center.post(platform::kApplicationWillResignActiveNotification);
    center.post(platform::kApplicationWillTerminateNotification);
    loop.runUntilIdle();
    EXPECT_EQ(collector().terminates.size(), 2u);
}

TEST_F(TallySessions, RecordsKeepTheSessionTheyWereSentIn) {
    // Sent before the start: the first session's.
    Tally::event("early");
    loop.runUntilIdle();
    EXPECT_EQ(collector().temporary.events.size(), 1u);
    start();
    const std::string first = collector().sessionID;
    ASSERT_EQ(collector().events.size(), 1u);
    EXPECT_EQ(collector().events[0]->session_id, first);
    // Sent before a reactivation: the ending session's.
    Tally::event("before");
    center.post(platform::kApplicationWillResignActiveNotification);
    center.post(platform::kApplicationDidBecomeActiveNotification);
    Tally::event("after");
    loop.runUntilIdle();
    ASSERT_EQ(collector().events.size(), 3u);
    EXPECT_EQ(collector().events[1]->session_id, first);
    EXPECT_EQ(collector().terminates.at(0)->session_id, first);
    EXPECT_NE(collector().events[2]->session_id, first);
}

TEST_F(TallySessions, AProfileChangeTurnsTheSessionOver) {
    start();
    const std::string first = collector().sessionID;
    clock.advanceSeconds(40);
    Tally::profileSignInWithPUID("alice", "mail");
    loop.runUntilIdle();
    EXPECT_EQ(collector().terminates.size(), 1u);
    EXPECT_EQ(collector().terminates[0]->duration, 40);
    EXPECT_EQ(pipeline->count("makeEnvelope"), 1u);
    EXPECT_NE(collector().sessionID, first);
    EXPECT_EQ(defaults.stringForKey("TLProfilePUID"), "alice");
    EXPECT_EQ(defaults.stringForKey("TLProfileProvider"), "mail");

    Tally::profileSignInWithPUID("alice", "mail");  // the same profile: nothing happens
    loop.runUntilIdle();
    EXPECT_EQ(collector().terminates.size(), 1u);

    Tally::profileSignOff();
    loop.runUntilIdle();
    EXPECT_EQ(collector().terminates.size(), 2u);
    EXPECT_TRUE(defaults.objectForKey("TLProfilePUID").isNull());
    Tally::profileSignOff();
    loop.runUntilIdle();
    EXPECT_EQ(collector().terminates.size(), 2u);
}
