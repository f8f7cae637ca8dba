#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analytics/api/TLAnalyticsConfig.h"
#include "analytics/collect/TallyApp.h"
#include "analytics/collect/TallyLocation.h"
#include "foundation/Value.h"

// The SDK's public interface. Every call may come from any thread, returns
// at once and never throws: it checks its input (logging "TLLOG:" messages
// and dropping or trimming what breaks the rules) and hands the rest to the
// collector on the main thread.
//
// The selector variants of one name are overloads where their argument
// types tell them apart, and carry the selector's last word otherwise
// (eventAcc, eventDurations, eventCounter, eventKeyPath, …PrimaryKey).
class Tally {
public:
    static constexpr const char* kSDKVersion = TallyApp::kSDKVersion;

    using Attributes = platform::Value::Dictionary;

    static void startWithConfigure(const TLAnalyticsConfig& config);

    static void setAppVersion(const std::string& appVersion);
    static void setCrashReportEnabled(bool value);
    static void setEncryptEnabled(bool value);
    static void setBackgroundTaskEnabled(bool value);
    static void setLogEnabled(bool value);
    static void setLatency(int latency);
    static void setLogSendInterval(double seconds);

    // Plain counted events.
    static void event(const std::string& eventId);
    static void event(const std::string& eventId, const std::string& label);
    static void eventAcc(const std::string& eventId, int64_t accumulation);
    static void event(const std::string& eventId, const std::string& label, int64_t accumulation);
    static void eventDurations(const std::string& eventId, int64_t milliseconds);
    static void eventDurations(const std::string& eventId, const std::string& label,
                               int64_t milliseconds);

    // Attribute events.
    static void event(const std::string& eventId, const Attributes& attributes);
    static void eventDurations(const std::string& eventId, const Attributes& attributes,
                               int64_t milliseconds);
    static void eventCounter(const std::string& eventId, const Attributes& attributes, int counter);

    // Timed events.
    static void beginEvent(const std::string& eventId);
    static void endEvent(const std::string& eventId);
    static void beginEvent(const std::string& eventId, const std::string& label);
    static void endEvent(const std::string& eventId, const std::string& label);
    static void beginEventPrimaryKey(const std::string& eventId, const std::string& primaryKey,
                                     const Attributes& attributes);
    static void endEventPrimaryKey(const std::string& eventId, const std::string& primaryKey);

    // Key-path counter; the items should be strings.
    static void eventKeyPath(const platform::Value::Array& keyPath, int64_t value,
                             const std::string& label);
    static void eventKeyPath(const std::vector<std::string>& keyPath, int64_t value,
                             const std::string& label);

    // Pages.
    static void logPageView(const std::string& pageName, int seconds);
    static void beginLogPageView(const std::string& pageName);
    static void endLogPageView(const std::string& pageName);

    static void setLatitude(double latitude, double longitude);
    static void setLocation(const TLLocation& location);

    static bool isJailbroken();

    static void startSession();

    static void profileSignInWithPUID(const std::string& puid);
    static void profileSignInWithPUID(const std::string& puid, const std::string& provider);
    static void profileSignOff();

    static void setWrapperType(const std::string& wrapperType, const std::string& wrapperVersion);
};
