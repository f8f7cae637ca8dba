#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analytics/api/Tally.h"
#include "analytics/collect/TallyRuntime.h"
#include "analytics/support/TallyLog.h"
#include "foundation/Application.h"
#include "support/TestSupport.h"

inline constexpr const char* kTallyKey = "5f8e2a91c3d74b06e1a9c2d7";
inline constexpr double kTallyStart = 1'700'000'000;  // seconds since 1970

// Settings to start the SDK with: nothing leaves the machine unless `url`
// names a collector.
inline TLAnalyticsConfig tallyConfig(const std::string& url = "", bool crashReport = false) {
    TLAnalyticsConfig config;
    config.appKey = kTallyKey;
    config.primaryURL = url;
    config.alternateURL = "";
    config.bCrashReportEnabled = crashReport;
    return config;
}

// One SDK instance on a manual clock with its own run loop, defaults,
// notification centre and files under `home`, current while it lives.
// Processes that share `home` share the SDK's files.
struct TallyWorld {
    explicit TallyWorld(const std::string& home, double start = kTallyStart)
        : clock(platform::Date::fromUnixSeconds(start)),
          loop(clock),
          defaults(home + "/defaults.plist"),
          runtime(TallyEnvironment{&clock, &defaults, &loop, &center, home + "/Library",
                                   home + "/SharedUDID"}),
          scope(runtime) {}

    platform::ManualClock clock;
    platform::RunLoop loop;
    platform::UserDefaults defaults;
    platform::NotificationCenter center;
    TallyRuntime runtime;
    TallyRuntime::Scope scope;
};

// What the collector handed on, for tests to look at.
class RecordingPipeline : public TallyPipeline {
public:
    void loadCache(TallyInternal&) override { calls.push_back("loadCache"); }
    void saveAndCleanCache(TallyInternal&) override { calls.push_back("saveAndCleanCache"); }
    bool makeEnvelope(TallyInternal&) override {
        calls.push_back("makeEnvelope");
        return false;
    }
    void preparePerformJob(TallyInternal&, int reason) override {
        calls.push_back("preparePerformJob:" + std::to_string(reason));
    }
    void aggregate(const platform::Value::Dictionary& keyPath, int64_t timeMs) override {
        aggregated.push_back({keyPath, timeMs});
    }
    void setCrashReportEnabled(bool) override {}

    size_t count(const std::string& call) const {
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
    }

    std::vector<std::string> calls;
    std::vector<std::pair<platform::Value::Dictionary, int64_t>> aggregated;
};

// A TallyWorld in a fresh folder whose collector hands on to a
// RecordingPipeline; the SDK's log is captured.
class TallyHarness : public ::testing::Test {
protected:
    static constexpr double kStart = kTallyStart;

    TallyHarness() : pipeline(std::make_shared<RecordingPipeline>()) {
        runtime.setPipeline(pipeline);
        setTallyLogSink([this](const std::string& line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        });
    }
    ~TallyHarness() override { setTallyLogSink({}); }

    void start(const std::string& key = kTallyKey) {
        TLAnalyticsConfig config = tallyConfig();
        config.appKey = key;
        Tally::startWithConfigure(config);
        loop.runUntilIdle();
    }

    void post(const char* name) {
        center.post(name);
        loop.runUntilIdle();
    }

    bool logged(const std::string& line) {
        std::lock_guard lock(logMutex);
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    std::vector<std::string> takeLog() {
        std::lock_guard lock(logMutex);
        return std::exchange(log, {});
    }

    TallyInternal& collector() { return runtime.internal(); }

    testsupport::TempDir dir;
    TallyWorld world{dir.path()};
    platform::ManualClock& clock = world.clock;
    platform::RunLoop& loop = world.loop;
    platform::UserDefaults& defaults = world.defaults;
    platform::NotificationCenter& center = world.center;
    TallyRuntime& runtime = world.runtime;
    std::shared_ptr<RecordingPipeline> pipeline;
    std::mutex logMutex;
    std::vector<std::string> log;
};

// A TallyHarness whose SDK has started, its start-up log taken.
class TallyStarted : public TallyHarness {
protected:
    void SetUp() override {
        start();
        takeLog();
    }
};
