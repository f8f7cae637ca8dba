#pragma once

#include <string>
#include <vector>

#include "analytics/collect/TLEventMgr.h"
#include "analytics/collect/TallyJournal.h"
#include "analytics/collect/TallyPipeline.h"
#include "analytics/upload/TLANWorker.h"
#include "analytics/upload/TallyJob.h"
#include "analytics/wire/TallyEnvelope.h"
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

    explicit TallyDataPipeline(TallyRuntime& runtime);
    ~TallyDataPipeline() override;

    void loadCache(TallyInternal& collector) override;
    void saveAndCleanCache(TallyInternal& collector) override;
    bool makeEnvelope(TallyInternal& collector) override;
    void preparePerformJob(TallyInternal& collector, int reason) override;
    void aggregate(const platform::Value::Dictionary& keyPath, int64_t timeMs) override;
    void setCrashReportEnabled(bool enabled) override;
    void journalSessionBegan(const std::string& sessionId, double begin) override;
    void journalPage(const platform::Value& item) override;
    void journalRecord(const TLANBaseEvent& record) override;

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
    // Puts the file's records in front of the collections; true when it
    // was read. The file stays until its records are on disk elsewhere.
    bool readCacheFile(const std::string& path, TallyInternal& collector);
    // An envelope from the pending collections; they are then on disk.
    bool makeEnvelopeFile();
    // The journal, opened on first use after what an earlier process left
    // in it went back into the collector.
    TallyJournal& journal();
    void scheduleJournalFlush();
    // The collections are on disk elsewhere: the journal starts over with
    // what memory still holds (the running session, its pages, records
    // made outside a session).
    void restartJournal();

    TallyRuntime& runtime_;
    std::unique_ptr<TallyJournal> journal_;
    bool journalFlushPosted_ = false;
    // The cache file's records are in memory (and still in the file).
    bool cacheFileLoaded_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    TLEventMgr events_;
    TallyEnvelope envelope_;
    TallyJob job_;
    // Last: joined before the job it works for goes away.
    platform::DispatchQueue sendQueue_{"tally.send.queue", 1};
};
