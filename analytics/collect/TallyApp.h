#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// The SDK's application state. Setters come from any thread; the collector
// reads on the main thread.
class TallyApp {
public:
    static constexpr const char* kSDKVersion = "4.1.1";

    std::string appid() const { return get(appid_); }
    void setAppid(std::string v) { set(appid_, std::move(v)); }
    std::string channel() const { return get(channel_); }
    void setChannel(std::string v) { set(channel_, std::move(v)); }
    std::string appVersion() const { return get(appVersion_); }
    void setAppVersion(std::string v) { set(appVersion_, std::move(v)); }
    std::string wrapperType() const { return get(wrapperType_); }
    void setWrapperType(std::string v) { set(wrapperType_, std::move(v)); }
    std::string wrapperVersion() const { return get(wrapperVersion_); }
    void setWrapperVersion(std::string v) { set(wrapperVersion_, std::move(v)); }
    std::string primaryURL() const { return get(primaryURL_); }
    std::string alternateURL() const { return get(alternateURL_); }
    void setEndpoints(std::string primary, std::string alternate) {
        set(primaryURL_, std::move(primary));
        set(alternateURL_, std::move(alternate));
    }

    std::atomic<int> reportPolicy{1};
    std::atomic<uint32_t> scenarioType{0};
    std::atomic<bool> encryptEnabled{false};
    std::atomic<bool> backgroundTaskEnabled{true};
    std::atomic<bool> logEnabled{false};
    std::atomic<bool> crashReportEnabled{false};
    std::atomic<bool> appCrashedHandlerInstalled{false};
    std::atomic<double> logSendInterval{90};
    std::atomic<int64_t> activateMsgTS{0};

    bool isGameScenario() const { return scenarioType == 1; }

    // The desktop keeps running in the background, so the task is only
    // bookkeeping: an id that a later upload step can hold and release.
    void beginBackgroundTask();
    void endBackgroundTask();
    // What the platform's expiration handler does.
    void expireBackgroundTask();
    int backgroundTaskId() const { return backgroundTask_; }

private:
    std::string get(const std::string& field) const {
        std::lock_guard lock(mutex_);
        return field;
    }
    void set(std::string& field, std::string value) {
        std::lock_guard lock(mutex_);
        field = std::move(value);
    }

    mutable std::mutex mutex_;
    std::string appid_, channel_, appVersion_, wrapperType_, wrapperVersion_;
    std::string primaryURL_, alternateURL_;
    std::atomic<int> backgroundTask_{0};
    std::atomic<int> nextBackgroundTask_{0};
};
