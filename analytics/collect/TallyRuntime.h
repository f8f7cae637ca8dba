#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "analytics/collect/TLWorkDispatch.h"
#include "analytics/collect/TallyApp.h"
#include "analytics/collect/TallyCollectorHost.h"
#include "analytics/collect/TallyConfig.h"
#include "analytics/collect/TallyInternal.h"
#include "analytics/collect/TallyLocation.h"
#include "analytics/collect/TallyPipeline.h"
#include "analytics/collect/TallySession.h"
#include "analytics/collect/TallySessionHost.h"
#include "analytics/device/TLANSharedUDID.h"
#include "foundation/Clock.h"
#include "foundation/NotificationCenter.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"

// What the SDK runs on. The process's instance uses the real clock,
// defaults, main run loop and notification centre; tests hand in their own.
struct TallyEnvironment {
    platform::Clock* clock = nullptr;
    platform::UserDefaults* defaults = nullptr;
    platform::RunLoop* runLoop = nullptr;  // the main thread's loop
    platform::NotificationCenter* notificationCenter = nullptr;
    std::string libraryDirectory;     // the SDK's files live in <library>/.tally
    std::string sharedUDIDDirectory;  // shared with other applications

    static TallyEnvironment process();
};

// One complete SDK: every object it is made of, wired to one environment.
// The process has one, created on first use and never released; a test
// builds its own and makes it current for a scope, so every Tally call
// reaches it. The collector and the session tracker see it only as their
// hosts.
class TallyRuntime final : public TallyCollectorHost, public TallySessionHost {
public:
    explicit TallyRuntime(const TallyEnvironment& environment);
    ~TallyRuntime();
    TallyRuntime(const TallyRuntime&) = delete;
    TallyRuntime& operator=(const TallyRuntime&) = delete;

    // The scoped instance if one is current, else the process's.
    static TallyRuntime& current();
    // Whether this is the process's instance rather than one a test built.
    bool isProcessInstance() const;

    // Makes a runtime current while it lives. Not nested across threads:
    // tests make one current before they start callers.
    class Scope {
    public:
        explicit Scope(TallyRuntime& runtime);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        TallyRuntime* previous_;
    };

    platform::Clock& clock() const { return *env_.clock; }
    platform::RunLoop& runLoop() const override { return *env_.runLoop; }
    platform::NotificationCenter& notificationCenter() const override {
        return *env_.notificationCenter;
    }
    const std::string& libraryDirectory() const { return env_.libraryDirectory; }
    std::string tallyDirectory() const { return env_.libraryDirectory + "/.tally"; }

    TallyConfig& config() override { return config_; }
    TallyApp& app() override { return app_; }
    TallyLocation& location() override { return location_; }
    TLANSharedUDID& sharedUDID() { return sharedUDID_; }
    TallyInternal& internal() override { return *internal_; }
    TallySession& session() { return session_; }
    TLWorkDispatch& dispatch() override { return dispatch_; }

    // The pipeline behind the collector (the base class, doing nothing,
    // until one is installed). Installed before start.
    void setPipeline(std::shared_ptr<TallyPipeline> pipeline);
    std::shared_ptr<TallyPipeline> pipeline() const override;

    // Runs `task` on the main thread unless this runtime is gone by then.
    void onMain(std::function<void()> task) override;

    // Seconds since 1970 by this runtime's clock.
    double now() const override { return env_.clock->date().unixSeconds(); }

private:
    double sessionBegan() const override { return session_.lastLaunchTime; }
    void setSessionBegan(double unixSeconds) override { session_.lastLaunchTime = unixSeconds; }
    int64_t sessionDuration() const override { return session_.currentDuration(); }
    bool inBackground() const override { return session_.appInBackGround; }

    TallyEnvironment env_;
    TallyConfig config_;
    TallyApp app_;
    TallyLocation location_;
    TLANSharedUDID sharedUDID_;
    std::shared_ptr<TallyInternal> internal_;
    TallySession session_;
    TLWorkDispatch dispatch_;
    mutable std::mutex pipelineMutex_;
    std::shared_ptr<TallyPipeline> pipeline_;
};
