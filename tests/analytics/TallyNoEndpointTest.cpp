#include <cstdlib>

#include "TallyDataHarness.h"

namespace {

TEST(TallyEndpoints, OnlyTheEnvironmentNamesTheService) {
    ::unsetenv("QUELLIO_ANALYTICS_URL");
    ::unsetenv("QUELLIO_ANALYTICS_URL_ALT");
    EXPECT_EQ(TLAnalyticsConfig().primaryURL, "");
    EXPECT_EQ(TLAnalyticsConfig().alternateURL, "");
    // One URL is one endpoint: a failed post is not sent twice to one host.
    ::setenv("QUELLIO_ANALYTICS_URL", "http://127.0.0.1:9", 1);
    EXPECT_EQ(TLAnalyticsConfig().primaryURL, "http://127.0.0.1:9");
    EXPECT_EQ(TLAnalyticsConfig().alternateURL, "");
    ::setenv("QUELLIO_ANALYTICS_URL_ALT", "http://127.0.0.2:9", 1);
    EXPECT_EQ(TLAnalyticsConfig().alternateURL, "http://127.0.0.2:9");
    ::unsetenv("QUELLIO_ANALYTICS_URL");
    ::unsetenv("QUELLIO_ANALYTICS_URL_ALT");
}

using TallyNoEndpoint = TallyDataHarness;

TEST_F(TallyNoEndpoint, SessionsPileUpAsTheNewestTenEnvelopes) {
    startWith("");
    std::string oldest;
    for (int i = 0; i < 12; ++i) {
        Tally::event("e" + std::to_string(i));
        loop.runUntilIdle();
        clock.advanceSeconds(1);
        post(platform::kApplicationWillResignActiveNotification);
        EXPECT_FALSE(data->job().jobRunning);
        post(platform::kApplicationDidBecomeActiveNotification);
        if (oldest.empty() && !envelopeFiles().empty()) oldest = envelopeFiles().front().path;
    }
    data->waitForSendQueue();
    EXPECT_EQ(envelopeFiles().size(), TallyDataPipeline::kMaxEnvelopeFiles);
    ASSERT_FALSE(oldest.empty());
    EXPECT_FALSE(std::filesystem::exists(oldest));
    EXPECT_TRUE(config().configureWithKey("lastPostInterval").isNull());
    // The service will learn how many went.
    const auto items = meta();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.back().label, "envelop_file_count_out");
}

}  // namespace
