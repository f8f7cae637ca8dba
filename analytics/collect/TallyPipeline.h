#pragma once

#include <cstdint>
#include <string>

#include "foundation/Value.h"

class TallyInternal;
class TLANBaseEvent;

// What happens to recorded data after the collector has it: cache files,
// envelopes, uploads, key-path aggregation and crash capture. The collector
// calls these on the main thread at the moments its algorithm names; this
// base does nothing, so data simply stays in memory until a real pipeline
// is installed with TallyRuntime::setPipeline.
class TallyPipeline {
public:
    virtual ~TallyPipeline() = default;

    // Session begin: read the cache file back into the collector and reload
    // the aggregation cache.
    virtual void loadCache(TallyInternal&) {}
    // Session end: archive the pending collections into the cache file and
    // clear them from memory; save the aggregation cells.
    virtual void saveAndCleanCache(TallyInternal&) {}
    // Builds an envelope from the pending collections; true when a file was
    // written (the collections are then emptied by the pipeline).
    virtual bool makeEnvelope(TallyInternal&) { return false; }
    // reason 0: a session began or ended; 1: a record was added.
    virtual void preparePerformJob(TallyInternal&, int /*reason*/) {}
    // A validated key-path counter: "ccKeyPath", "ccValue", "ccLabel".
    virtual void aggregate(const platform::Value::Dictionary& /*keyPath*/, int64_t /*timeMs*/) {}
    // What the collector took, as it takes it, so that a crash or a kill
    // does not lose it: a session's begin, a page view, a record (events,
    // attribute events, errors and session records).
    virtual void journalSessionBegan(const std::string& /*sessionId*/, double /*begin*/) {}
    virtual void journalPage(const platform::Value& /*item*/) {}
    virtual void journalRecord(const TLANBaseEvent&) {}
    // Installs or removes the crash handlers.
    virtual void setCrashReportEnabled(bool /*enabled*/) {}
};
