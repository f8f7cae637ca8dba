#include "TallyHarness.h"

using platform::Value;

using TallyCollector = TallyStarted;

TEST_F(TallyCollector, TimedEventsPairTheNewestBeginWithEachEnd) {
    Tally::beginEvent("load", "cat");
    clock.advanceSeconds(1);
    Tally::beginEvent("load", "cat");
    clock.advanceSeconds(2.5);
    Tally::endEvent("load", "cat");  // the newer begin: 2.5 s
    clock.advanceSeconds(1);
    Tally::endEvent("load", "cat");  // then the older: 4.5 s
    Tally::endEvent("load", "cat");  // nothing left to end
    Tally::endEvent("load");         // another key
    loop.runUntilIdle();

    ASSERT_EQ(collector().events.size(), 2u);
    EXPECT_EQ(collector().events[0]->du, 2500);
    EXPECT_EQ(collector().events[1]->du, 4500);
    EXPECT_EQ(collector().events[0]->acc, 0);
    EXPECT_TRUE(collector().eventBeginTimes.empty());
}

TEST_F(TallyCollector, TimedAttributeEventsMatchByPrimaryKey) {
    Tally::beginEventPrimaryKey("dl", "a", Tally::Attributes{{"f", Value("x")}});
    Tally::beginEventPrimaryKey("dl", "b", Tally::Attributes{{"f", Value("y")}});
    clock.advanceSeconds(3);
    Tally::endEventPrimaryKey("dl", "b");
    Tally::beginEventPrimaryKey("dl", "", Tally::Attributes{{"f", Value("z")}});  // no key: dropped
    loop.runUntilIdle();
    ASSERT_EQ(collector().ekv.size(), 1u);
    EXPECT_EQ(collector().ekv[0]->values.at("f"), Value("y"));
    EXPECT_EQ(collector().ekv[0]->du, 3000);
    EXPECT_EQ(collector().ekvBeginTimes.size(), 1u);
}

TEST_F(TallyCollector, PagesCountWholeSecondsOfAtLeastOne) {
    Tally::beginLogPageView("board");
    loop.runUntilIdle();
    clock.advanceSeconds(0.9);
    Tally::endLogPageView("board");
    loop.runUntilIdle();
    EXPECT_TRUE(collector().pageItems.empty());

    Tally::beginLogPageView("mine");
    loop.runUntilIdle();
    clock.advanceSeconds(5.7);
    Tally::endLogPageView("mine");
    Tally::endLogPageView("never-begun");
    Tally::logPageView("maker", 0);  // dropped
    Tally::logPageView("maker", 2);
    loop.runUntilIdle();
    EXPECT_EQ(collector().pageItems, (Value::Array{Value(Value::Array{Value("mine"), Value(5)}),
                                                   Value(Value::Array{Value("maker"), Value(2)})}));
    EXPECT_TRUE(collector().pageItemsHash.empty());
}

// The count envelopes keep: TallyEnvelopeTest.EnvelopesCountTheirEvents...
TEST_F(TallyCollector, TheEightHourPeriodEndsAfterEightHoursOrWhenTheClockGoesBack) {
    defaults.setObject(Value(int64_t{5000}), "tlPeriodEvtCount");
    clock.advanceSeconds(8 * 3600);
    Tally::event("full");
    loop.runUntilIdle();
    EXPECT_TRUE(collector().events.empty()) << "at exactly eight hours the period still runs";
    clock.advanceSeconds(1);
    Tally::event("d");
    loop.runUntilIdle();
    EXPECT_EQ(collector().events.size(), 1u);
    EXPECT_EQ(defaults.integerForKey("tlPeriodEvtCount"), 0);
    EXPECT_EQ(defaults.integerForKey("tlSeparatedTime"),
              static_cast<int64_t>(kStart) + 8 * 3600 + 1);

    defaults.setObject(Value(int64_t{5000}), "tlPeriodEvtCount");
    clock.setDate(platform::Date::fromUnixSeconds(kStart - 86400));
    Tally::event("e");
    loop.runUntilIdle();
    EXPECT_EQ(collector().events.size(), 2u);
}

TEST_F(TallyCollector, TheGameScenarioAllowsTenThousand) {
    runtime.app().scenarioType = 1;
    defaults.setObject(Value(int64_t{9999}), "tlPeriodEvtCount");
    Tally::event("a");
    Tally::event("b");
    loop.runUntilIdle();
    EXPECT_EQ(collector().events.size(), 1u);
    EXPECT_TRUE(logged("WARNING event max count 10000 per 8 hours."));
}
