#pragma once

#include <filesystem>

#include "TallyHarness.h"
#include "analytics/collect/TallyUtility.h"
#include "analytics/upload/TallyDataPipeline.h"

// A TallyHarness whose SDK has the real pipeline: files, database, uploads.
class TallyDataHarness : public TallyHarness {
protected:
    TallyDataHarness() : data(std::make_shared<TallyDataPipeline>(runtime)) {
        runtime.setPipeline(data);
        data->job().networkAvailable = [] { return true; };
    }

    void startWith(const std::string& primary, const std::string& alternate = {},
                   bool crashReport = false) {
        TLAnalyticsConfig config;
        config.appKey = "5f8e2a91c3d74b06e1a9c2d7";
        config.primaryURL = primary;
        config.alternateURL = alternate;
        config.bCrashReportEnabled = crashReport;
        Tally::startWithConfigure(config);
        loop.runUntilIdle();
        waitForJob();
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
