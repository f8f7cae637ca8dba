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

    std::vector<TallyUtility::EnvelopeFile> envelopeFiles() {
        return TallyUtility::envelopeFiles(runtime);
    }

    std::vector<TLCachedDB::MetaRow> meta() { return data->eventMgr().db().selectMeta(); }
    TallyConfig& config() { return runtime.config(); }

    std::shared_ptr<TallyDataPipeline> data;
};
