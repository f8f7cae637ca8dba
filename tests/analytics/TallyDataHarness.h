#pragma once

#include <filesystem>

#include "TallyHarness.h"
#include "analytics/collect/TallyUtility.h"
#include "analytics/upload/TallyDataPipeline.h"

// Gives `runtime` the real pipeline: files, database, uploads.
inline std::shared_ptr<TallyDataPipeline> attachDataPipeline(TallyRuntime& runtime, bool online) {
    auto data = std::make_shared<TallyDataPipeline>(runtime);
    runtime.setPipeline(data);
    data->job().networkAvailable = [online] { return online; };
    return data;
}

// A TallyHarness whose SDK has the real pipeline.
class TallyDataHarness : public TallyHarness {
protected:
    TallyDataHarness() : data(attachDataPipeline(runtime, true)) {}

    void startWith(const std::string& url) {
        Tally::startWithConfigure(tallyConfig(url));
        loop.runUntilIdle();
        waitForJob();
    }

    // Started without network, which stays down: records pile up in the
    // collector until the test makes envelopes.
    void startOffline(int policy = 1) {
        data->job().networkAvailable = [] { return false; };
        TLAnalyticsConfig config = tallyConfig();
        config.ePolicy = policy;
        Tally::startWithConfigure(config);
        loop.runUntilIdle();
    }

    // Lets a running upload job finish (real network, bounded).
    void waitForJob() {
        ASSERT_TRUE(loop.runUntil([&] { return !data->job().jobRunning; }));
        data->waitForSendQueue();
        loop.runUntilIdle();
    }

    // An imprint as the service sends it, with these values.
    void imprint(const std::map<std::string, std::string>& values) {
        TLTImprint i;
        std::map<std::string, TLTImprintValue> properties;
        for (const auto& [k, v] : values) {
            properties[k].set_value(v);
            properties[k].set_ts(1);
            properties[k].set_guid("g");
        }
        i.set_property(properties);
        i.set_version(1);
        i.set_checksum(i.computeChecksum());
        data->job().applyImprint(i);
    }

    std::vector<TallyUtility::EnvelopeFile> envelopeFiles() {
        return TallyUtility::envelopeFiles(runtime);
    }

    std::vector<TLCachedDB::MetaRow> meta() { return data->eventMgr().db().selectMeta(); }
    TallyConfig& config() { return runtime.config(); }

    std::shared_ptr<TallyDataPipeline> data;
};
