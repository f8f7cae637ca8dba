#include "TallyHarness.h"
#include "analytics/api/TallyEvent.h"

using platform::Value;

namespace {

std::string idWarning(const std::string& id) {
    return "TLLOG: (Warning) event_id (" + id + ") max bytes length > 128";
}

}  // namespace

using TallyEventValidation = TallyStarted;

TEST_F(TallyEventValidation, EventIdsUpTo128BytesAreAcceptedLongerOrBlankOnesAreRejected) {
    const std::string exact = std::string(125, 'a') + "声";  // 128 bytes
    const std::string over = std::string(126, 'a') + "声";   // 129 bytes
    Tally::event(exact);
    Tally::event(over);
    Tally::event(" \t\n");
    Tally::event("\u3000");  // ideographic space only
    loop.runUntilIdle();

    ASSERT_EQ(collector().events.size(), 1u);
    EXPECT_EQ(collector().events[0]->event_id, exact);
    EXPECT_TRUE(logged(idWarning(over)));
    EXPECT_TRUE(logged(idWarning(" \t\n")));
    EXPECT_TRUE(logged(idWarning("\u3000")));
}

TEST_F(TallyEventValidation, DurationLimitsDifferBetweenTheVariants) {
    Tally::eventDurations("a", "l", 7'200'000);  // dropped silently
    Tally::eventDurations("b", "l", 0);          // dropped: the labelled form needs ≥ 1 ms
    Tally::eventDurations("c", "l", 7'199'999);
    Tally::eventDurations("d", 7'200'000);  // dropped
    Tally::eventDurations("e", 5);
    Tally::eventDurations("f", Tally::Attributes{{"k", Value("v")}}, -1);  // dropped
    Tally::eventDurations("g", Tally::Attributes{{"k", Value("v")}}, 250);
    loop.runUntilIdle();

    std::vector<std::string> ids;
    for (auto& e : collector().events) ids.push_back(e->event_id + ":" + std::to_string(e->du));
    EXPECT_EQ(ids, (std::vector<std::string>{"c:7199999", "e:5"}));
    ASSERT_EQ(collector().ekv.size(), 1u);
    EXPECT_EQ(collector().ekv[0]->du, 250);
    EXPECT_TRUE(takeLog().empty());
}

TEST_F(TallyEventValidation, PlainEventsCarryTheirCountAndEachAsksForAnUpload) {
    Tally::event("tap", "board", 3);
    Tally::eventAcc("tap", 7);
    loop.runUntilIdle();
    ASSERT_EQ(collector().events.size(), 2u);
    EXPECT_EQ(collector().events[0]->acc, 3);
    EXPECT_EQ(collector().events[1]->acc, 7);
    EXPECT_EQ(pipeline->count("preparePerformJob:1"), 2u);
}

TEST_F(TallyEventValidation, AttributeDictionariesAreTrimmedToTenPlusTheCounter) {
    Tally::Attributes twelve;
    for (int i = 0; i < 12; ++i) twelve[TLFormat("k%02d", i)] = Value("v");
    Tally::event("many", twelve);
    Tally::eventCounter("counted", twelve, 42);
    loop.runUntilIdle();

    ASSERT_EQ(collector().ekv.size(), 2u);
    const auto& plain = collector().ekv[0]->values;
    EXPECT_EQ(plain.size(), 10u);
    EXPECT_TRUE(plain.count("k00") && plain.count("k09") && !plain.count("k10"));
    const auto& counted = collector().ekv[1]->values;
    EXPECT_EQ(counted.size(), 11u);
    EXPECT_EQ(counted.at("__ct__"), Value("42"));
}

TEST_F(TallyEventValidation, ReservedKeysDropTheEventAndBadEntriesAreSkippedOrCut) {
    Tally::event("reserved", Tally::Attributes{{"ts", Value("1")}, {"a", Value("b")}});
    loop.runUntilIdle();
    EXPECT_TRUE(collector().ekv.empty());
    EXPECT_TRUE(logged("TLLOG: (ERROR) 关键字id, ts, du是统计SDK保留字段，不能作为key使用。"));

    const std::string longValue = std::string(255, 'x') + "声";  // 258 bytes
    Tally::event("mixed", Tally::Attributes{{"n", Value(3)},
                                            {std::string(130, 'k'), Value("v")},
                                            {"s", Value(longValue)}});
    loop.runUntilIdle();
    ASSERT_EQ(collector().ekv.size(), 1u);
    const auto& values = collector().ekv[0]->values;
    EXPECT_FALSE(values.count("n"));
    EXPECT_TRUE(values.count(std::string(128, 'k')));
    // Cut at a character boundary: the three-byte character does not fit.
    EXPECT_EQ(values.at("s"), Value(std::string(255, 'x')));
    EXPECT_TRUE(logged(
        "TLLOG: (ERROR) Tally event's keys and values must be string ,key's max length 128 and "
        "value's max length 256"));
    Tally::event("empty", Tally::Attributes{});
    loop.runUntilIdle();
    EXPECT_EQ(collector().ekv.size(), 1u);
}

TEST_F(TallyEventValidation, KeyPathRules) {
    auto strings = [](std::vector<std::string> v) { return Value::Array(v.begin(), v.end()); };
    const std::string seventeen(17, 'b');
    const std::vector<std::string> cut = {"a", "__cc", "illegal"};
    // sent: the path that goes out, empty when the event is refused.
    const struct {
        Value::Array path;
        std::string label;
        std::vector<std::string> sent;
        std::string sentLabel, message;
    } cases[] = {
        {{}, "", {}, "", "TLLOG:(ERROR) event's path is empty."},
        {{Value("a"), Value(3)}, "", {}, "", "TLLOG:(ERROR) keypath's item must be NSString."},
        {strings({"a b"}), "", {}, "", "TLLOG: (ERROR) a b path is invalid."},
        {strings({seventeen}), "", {}, "", "TLLOG: (ERROR) " + seventeen + " length overflow(16)."},
        {strings({"a", "b", "c", "d", "e", "f", "g", "h", "i"}), "", cut, "",
         "TLLOG: (WARNING) (a, b, c, d, e, f, g, h, i) overflow max length 8."},
        {strings({"a", seventeen}), "", {"a", std::string(16, 'b')}, "",
         "TLLOG: (WARNING) " + seventeen + " length overflow(16), will be trimming."},
        {strings({"a", "x-y"}), "", cut, "", "TLLOG: (WARNING) x-y is illegal in (a, x-y)."},
        {strings({"a", "b"}), "l l", {"a", "b"}, "__illegal",
         "TLLOG: (WARNING) l l is illegal label in (a, b)."},
        {strings({"a", "b"}), std::string(170, 'L'), {"a", "b"}, std::string(160, 'L'), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        takeLog();
        auto payload = TallyEvent::keyPathPayload(c.path, 5, c.label, false);
        ASSERT_EQ(payload.has_value(), !c.sent.empty());
        if (payload) {
            EXPECT_EQ(payload->at("ccKeyPath"), Value(strings(c.sent)));
            EXPECT_EQ(payload->at("ccLabel"), Value(c.sentLabel));
            EXPECT_EQ(payload->at("ccValue"), Value(5));
        }
        if (!c.message.empty()) {
            EXPECT_TRUE(logged(c.message));
        }
    }
    // Within the item limits, but eight items of multi-byte characters join to over 256 bytes.
    std::string wide;
    for (int i = 0; i < 16; ++i) wide += "声";
    std::vector<std::string> path(8, wide);
    path[0] = "root";
    takeLog();
    auto total = TallyEvent::keyPathPayload(strings(path), 1, "", false);
    ASSERT_TRUE(total);
    EXPECT_EQ(total->at("ccKeyPath"), Value(strings({"root", "__cc", "illegal"})));
    EXPECT_EQ(takeLog().size(), 1u);
}

TEST_F(TallyEventValidation, KeyPathsAreRefusedInTheBackgroundAndOtherwiseReachTheAggregator) {
    Tally::eventKeyPath(std::vector<std::string>{"level", "boss"}, 3, "win");
    loop.runUntilIdle();
    ASSERT_EQ(pipeline->aggregated.size(), 1u);
    EXPECT_EQ(pipeline->aggregated[0].second, static_cast<int64_t>(kStart * 1000));

    post(platform::kApplicationWillResignActiveNotification);
    Tally::eventKeyPath(std::vector<std::string>{"level"}, 1, "");
    loop.runUntilIdle();
    EXPECT_EQ(pipeline->aggregated.size(), 1u);
    EXPECT_TRUE(logged("TLLOG:(WARNING) (level) event not support in background mode."));
}

TEST_F(TallyEventValidation, SettingsAndProfilesCheckTheirInput) {
    Tally::setLogSendInterval(89.9);
    EXPECT_TRUE(logged("ERROR: can't less 90s for log send interval."));
    EXPECT_TRUE(defaults.objectForKey("tlcReportInterval").isNull());
    Tally::setLogSendInterval(120);
    EXPECT_EQ(defaults.integerForKey("tlcReportInterval"), 120);

    Tally::profileSignInWithPUID("");
    Tally::profileSignInWithPUID(std::string(65, 'u'));
    Tally::profileSignInWithPUID("user", std::string(33, 'p'));
    loop.runUntilIdle();
    EXPECT_TRUE(logged("ERROR, invalid puid."));
    EXPECT_TRUE(logged("ERROR, puid's max length is 64 byte."));
    EXPECT_TRUE(logged("ERROR, provider's max length is 32 byte."));
    EXPECT_TRUE(defaults.objectForKey("TLProfilePUID").isNull());

    Tally::profileSignInWithPUID(std::string(64, 'u'));
    loop.runUntilIdle();
    EXPECT_EQ(defaults.stringForKey("TLProfileProvider"), "_adhoc");
}
