#pragma once

#include <string>
#include <vector>

#include "analytics/TLANWorker.h"
#include "analytics/TLEventMgr.h"
#include "analytics/TallyEnvelope.h"
#include "analytics/TallyJob.h"
#include "analytics/TallyPipeline.h"
#include "foundation/DispatchQueue.h"

class TallyRuntime;

// The SDK's real pipeline: cache files, the aggregation database,
// envelopes, upload jobs on the send queue and crash capture.
class TallyDataPipeline final : public TallyPipeline {
public:
    static constexpr int64_t kMaxEnvelopeBytes = 262'144;
    static constexpr int64_t kMinEnvelopeBytes = 10;  // this size and below is empty
    static constexpr int64_t kMaxEnvelopeAgeMs = 1'209'600'000;
    static constexpr size_t kMaxEnvelopeFiles = 10;
    // How often the pending collections are checkpointed while they live
    // only in memory, so a crash loses at most this much.
    static constexpr int kCheckpointSeconds = 60;

    explicit TallyDataPipeline(TallyRuntime& runtime);
    ~TallyDataPipeline() override;

    void loadCache(TallyInternal& collector) override;
    void saveAndCleanCache(TallyInternal& collector) override;
    bool makeEnvelope(TallyInternal& collector) override;
    void preparePerformJob(TallyInternal& collector, int reason) override;
    void aggregate(const platform::Value::Dictionary& keyPath, int64_t timeMs) override;
    void setCrashReportEnabled(bool enabled) override;

    // Validates and trims the envelope files, builds one when there are
    // none and data waits (without an endpoint: whenever data waits), and
    // queues a worker; true when one was queued, never without an endpoint.
    bool beginPerformJob();
    // The envelope files that pass validation, oldest first; the others
    // are deleted and counted.
    std::vector<std::string> validatedEnvelopeFiles();

    TallyJob& job() { return job_; }
    TLEventMgr& eventMgr() { return events_; }
    TallyEnvelope& envelope() { return envelope_; }
    // Blocks until the send queue has run what was queued (tests, shutdown).
    void waitForSendQueue() { sendQueue_.waitUntilIdle(); }

private:
    bool writeCacheFile(const std::string& path, TallyInternal& collector);
    // Moves the file's records in front of the collections and removes it.
    void readCacheFile(const std::string& path, TallyInternal& collector);
    void scheduleCheckpoint();
    void removeCheckpoint();
    // An envelope from the pending collections; they are then on disk.
    bool makeEnvelopeFile();

    TallyRuntime& runtime_;
    bool checkpointing_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    TLEventMgr events_;
    TallyEnvelope envelope_;
    TallyJob job_;
    // Last: joined before the job it works for goes away.
    platform::DispatchQueue sendQueue_{"tally.send.queue", 1};
};
