#include <filesystem>
#include <fstream>

#include "TallyDataHarness.h"

class TallyJobTest : public TallyDataHarness {
protected:
    TallyJob& job() { return data->job(); }

    std::string envelopeFile(int64_t ageMs, size_t size) {
        const auto name = TLFormat("%lld_envelope.log", static_cast<long long>(kStart * 1000) -
                                                            static_cast<long long>(ageMs));
        const std::string path = TallyUtility::tallyDirectory(runtime) + "/" + name;
        std::ofstream(path) << std::string(size, 'x');
        return path;
    }
};

TEST_F(TallyJobTest, FilesAreValidatedBySizeAndAge) {
    startOffline();
    const auto tooBig = envelopeFile(5, 262'144);
    const auto big = envelopeFile(4, 262'143);
    const auto empty = envelopeFile(3, 10);
    const auto small = envelopeFile(2, 11);
    const auto stale = envelopeFile(1'209'600'001, 100);
    const auto old = envelopeFile(1'209'600'000, 100);
    EXPECT_EQ(data->validatedEnvelopeFiles(), (std::vector<std::string>{old, big, small}));
    EXPECT_FALSE(std::filesystem::exists(tooBig));
    EXPECT_FALSE(std::filesystem::exists(empty));
    EXPECT_FALSE(std::filesystem::exists(stale));
    const auto items = meta();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].ck, "__evp_file_of");
    EXPECT_EQ(items[0].value, 3);
    EXPECT_EQ(items[0].label, "envelop_file_count_or_date_out");
}

TEST_F(TallyJobTest, PolicyAndInterval) {
    startOffline(6);
    EXPECT_EQ(job().reportPolicy(), TallyJob::kPolicyInterval);
    EXPECT_EQ(job().sendInterval(), 90);
    imprint({{"report_policy", "8"}, {"report_interval", "600"}});
    EXPECT_EQ(job().reportPolicy(), TallyJob::kPolicySmart);
    EXPECT_EQ(job().sendInterval(), 600);
    imprint({{"report_policy", "0"}, {"report_interval", "86401"}});
    EXPECT_EQ(job().reportPolicy(), TallyJob::kPolicyBatch);  // real time only when testing
    EXPECT_EQ(job().sendInterval(), 90);
    imprint({{"report_policy", "0"}, {"integrated_test", "1"}});
    EXPECT_EQ(job().reportPolicy(), TallyJob::kPolicyRealTime);
    imprint({{"report_policy", "5"}});
    EXPECT_EQ(job().reportPolicy(), TallyJob::kPolicyBatch);
    runtime.config().setConfigure(platform::Value(int64_t{6}), "tlExperimentRPT");
    EXPECT_EQ(job().reportPolicy(), TallyJob::kPolicyInterval);
}

TEST_F(TallyJobTest, CommitCheckByPolicy) {
    startOffline(1);
    EXPECT_FALSE(job().shouldStartJob(0));
    EXPECT_TRUE(logged("check commit job=NO due to no network"));
    job().networkAvailable = [] { return true; };
    EXPECT_TRUE(job().shouldStartJob(0));
    EXPECT_FALSE(job().shouldStartJob(1));

    runtime.config().setConfigure(platform::Value(runtime.now()), "lastPostInterval");
    imprint({{"report_policy", "6"}});
    clock.advanceSeconds(90);
    EXPECT_FALSE(job().shouldStartJob(1));
    clock.advanceSeconds(1);
    EXPECT_TRUE(job().shouldStartJob(1));

    imprint({{"report_policy", "0"}, {"integrated_test", "1"}, {"defcon", "1"}});
    EXPECT_EQ(job().defcon, 1);
    runtime.config().setConfigure(platform::Value(runtime.now()), "lastPostInterval");
    clock.advanceSeconds(14'399);
    EXPECT_FALSE(job().shouldStartJob(1));
    clock.advanceSeconds(1);
    EXPECT_TRUE(job().shouldStartJob(1));
    imprint({{"defcon", "0"}});
    EXPECT_EQ(job().defcon, 0);
    EXPECT_FALSE(runtime.config().integerWithKey("tlDefcon"));
}
