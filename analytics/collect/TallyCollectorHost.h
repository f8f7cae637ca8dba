#pragma once

#include <cstdint>
#include <memory>

class TallyApp;
class TallyConfig;
class TallyLocation;
class TallyPipeline;

// What the collector uses of the SDK instance it belongs to. The instance
// implements it; through it the collector reads the session tracker's state
// without knowing the tracker, which sits above the collector.
class TallyCollectorHost {
public:
    virtual double now() const = 0;  // seconds since 1970
    virtual TallyApp& app() = 0;
    virtual TallyConfig& config() = 0;
    virtual TallyLocation& location() = 0;
    virtual std::shared_ptr<TallyPipeline> pipeline() const = 0;

    // The running session as the session tracker keeps it: when it began,
    // its reported length so far, and whether the application is in the
    // background.
    virtual double sessionBegan() const = 0;
    virtual void setSessionBegan(double unixSeconds) = 0;
    virtual int64_t sessionDuration() const = 0;
    virtual bool inBackground() const = 0;

protected:
    ~TallyCollectorHost() = default;
};
