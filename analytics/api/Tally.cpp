#include "analytics/api/Tally.h"

#include <atomic>
#include <memory>

#include "analytics/api/TallyCompanion.h"
#include "analytics/api/TallyEvent.h"
#include "analytics/collect/TallyRuntime.h"
#include "analytics/collect/TallyUtility.h"
#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyLog.h"
#include "analytics/upload/TallyDataPipeline.h"
#include "foundation/Files.h"

using platform::Value;

namespace {

TallyRuntime& sdk() {
    return TallyRuntime::current();
}

constexpr double kMinLogSendInterval = 90;
constexpr size_t kMaxPuidBytes = 64;
constexpr size_t kMaxProviderBytes = 32;

}  // namespace

void Tally::startWithConfigure(const TLAnalyticsConfig& config) {
    if (config.appKey.empty()) {
        TLLog("TLLOG:(ERROR) appkey is empty.");
        return;
    }
    TallyRuntime& rt = sdk();
    // The process's own SDK keeps, sends and aggregates through the real
    // pipeline; a runtime a test builds keeps the pipeline it was given.
    static std::atomic<bool> processPipelineInstalled{false};
    if (rt.isProcessInstance() && !processPipelineInstalled.exchange(true))
        rt.setPipeline(std::make_shared<TallyDataPipeline>(rt));
    // What a killed write left behind; nothing of ours writes here yet.
    platform::removeLeftoverTemporaries(TallyUtility::tallyDirectory(rt),
                                        [](const std::string&) { return true; });
    rt.config().setConfigure(Value(config.eSType), "scenariotype");
    rt.app().scenarioType = config.eSType;
    if (!config.secret.empty()) rt.config().setConfigure(Value(config.secret), "asecret");
    rt.app().setEndpoints(config.primaryURL, config.alternateURL);
    rt.session().startWithAppkey(config.appKey, config.ePolicy, config.channelId);
    if (config.bCrashReportEnabled) {
        rt.app().crashReportEnabled = true;
        rt.pipeline()->setCrashReportEnabled(true);
    }
    if (!config.channelId.empty()) {
        if (auto companion = TallyCompanion::lookUp()) companion->setChannel(config.channelId);
    }
}

void Tally::setAppVersion(const std::string& appVersion) {
    sdk().app().setAppVersion(appVersion);
}

void Tally::setCrashReportEnabled(bool value) {
    sdk().app().crashReportEnabled = value;
}

void Tally::setEncryptEnabled(bool value) {
    sdk().app().encryptEnabled = value;
}

void Tally::setBackgroundTaskEnabled(bool value) {
    sdk().app().backgroundTaskEnabled = value;
}

void Tally::setLogEnabled(bool value) {
    sdk().app().logEnabled = value;
    setTallyLogPrinting(value);
    if (auto companion = TallyCompanion::lookUp()) companion->setDebugStatus(value);
}

void Tally::setLatency(int) {
    TLLog("setLatency is deprecated.");
}

void Tally::setLogSendInterval(double seconds) {
    if (!(seconds >= kMinLogSendInterval)) {
        TLLog("ERROR: can't less 90s for log send interval.");
        return;
    }
    TallyRuntime& rt = sdk();
    rt.config().setConfigure(Value(static_cast<int64_t>(seconds)), "tlcReportInterval");
    rt.app().logSendInterval = seconds;
    if (auto companion = TallyCompanion::lookUp())
        companion->setSendInterval(static_cast<int>(seconds));
}

void Tally::event(const std::string& eventId) {
    TallyEvent::event(eventId, {}, 1, 0);
}

void Tally::event(const std::string& eventId, const std::string& label) {
    TallyEvent::event(eventId, label, 1, 0);
}

void Tally::eventAcc(const std::string& eventId, int64_t accumulation) {
    TallyEvent::event(eventId, {}, accumulation, 0);
}

void Tally::event(const std::string& eventId, const std::string& label, int64_t accumulation) {
    TallyEvent::event(eventId, label, accumulation, 0);
}

void Tally::eventDurations(const std::string& eventId, int64_t milliseconds) {
    TallyEvent::event(eventId, {}, 1, milliseconds);
}

void Tally::eventDurations(const std::string& eventId, const std::string& label,
                           int64_t milliseconds) {
    if (milliseconds < 1 || milliseconds >= TallyEvent::kMaxDurationMs) return;
    TallyEvent::event(eventId, label, 1, milliseconds);
}

void Tally::event(const std::string& eventId, const Attributes& attributes) {
    TallyEvent::event(eventId, attributes, 0);
}

void Tally::eventDurations(const std::string& eventId, const Attributes& attributes,
                           int64_t milliseconds) {
    if (milliseconds < 1 || milliseconds >= TallyEvent::kMaxDurationMs) return;
    TallyEvent::event(eventId, attributes, milliseconds);
}

void Tally::eventCounter(const std::string& eventId, const Attributes& attributes, int counter) {
    Attributes counted = attributes;
    counted[TallyEvent::kCounterKey] = Value(TLFormat("%d", counter));
    TallyEvent::event(eventId, counted, 0);
}

void Tally::beginEvent(const std::string& eventId) {
    TallyEvent::beginEvent(eventId, std::string());
}

void Tally::endEvent(const std::string& eventId) {
    TallyEvent::endEvent(eventId, std::string());
}

void Tally::beginEvent(const std::string& eventId, const std::string& label) {
    TallyEvent::beginEvent(eventId, label);
}

void Tally::endEvent(const std::string& eventId, const std::string& label) {
    TallyEvent::endEvent(eventId, label);
}

void Tally::beginEventPrimaryKey(const std::string& eventId, const std::string& primaryKey,
                                 const Attributes& attributes) {
    TallyEvent::beginEvent(eventId, primaryKey, attributes);
}

void Tally::endEventPrimaryKey(const std::string& eventId, const std::string& primaryKey) {
    TallyEvent::endEventWithPrimaryKey(eventId, primaryKey);
}

void Tally::eventKeyPath(const Value::Array& keyPath, int64_t value, const std::string& label) {
    TallyRuntime& rt = sdk();
    if (auto payload =
            TallyEvent::keyPathPayload(keyPath, value, label, rt.session().appInBackGround)) {
        rt.dispatch().send(Value(std::move(*payload)), kTLDispatchKeyPath);
    }
}

void Tally::eventKeyPath(const std::vector<std::string>& keyPath, int64_t value,
                         const std::string& label) {
    eventKeyPath(Value::Array(keyPath.begin(), keyPath.end()), value, label);
}

void Tally::logPageView(const std::string& pageName, int seconds) {
    if (pageName.empty() || seconds < 1) return;
    sdk().dispatch().send(Value(Value::Array{Value(pageName), Value(seconds)}),
                          kTLDispatchPageDuration);
}

void Tally::beginLogPageView(const std::string& pageName) {
    if (pageName.empty()) return;
    sdk().dispatch().send(Value(pageName), kTLDispatchPageBegin);
}

void Tally::endLogPageView(const std::string& pageName) {
    if (pageName.empty()) return;
    sdk().dispatch().send(Value(pageName), kTLDispatchPageEnd);
}

void Tally::setLatitude(double latitude, double longitude) {
    sdk().location().setLatitude(latitude, longitude);
}

void Tally::setLocation(const TLLocation& location) {
    sdk().location().setLocation(location);
}

bool Tally::isJailbroken() {
    return TLANUtil::isJailbroken();
}

void Tally::startSession() {
    sdk().session().appActivate();
}

void Tally::profileSignInWithPUID(const std::string& puid) {
    profileSignInWithPUID(puid, {});
}

void Tally::profileSignInWithPUID(const std::string& puid, const std::string& provider) {
    if (puid.empty()) {
        TLLog("ERROR, invalid puid.");
        return;
    }
    if (puid.size() > kMaxPuidBytes) {
        TLLog("ERROR, puid's max length is 64 byte.");
        return;
    }
    if (provider.size() > kMaxProviderBytes) {
        TLLog("ERROR, provider's max length is 32 byte.");
        return;
    }
    sdk().dispatch().send(Value(Value::Dictionary{
                              {"TLProfileProvider", Value(provider.empty() ? "_adhoc" : provider)},
                              {"TLProfilePUID", Value(puid)}}),
                          kTLDispatchProfileSignIn);
}

void Tally::profileSignOff() {
    sdk().dispatch().send(Value(), kTLDispatchProfileSignOff);
}

void Tally::setWrapperType(const std::string& wrapperType, const std::string& wrapperVersion) {
    TallyApp& app = sdk().app();
    if (!wrapperType.empty()) app.setWrapperType(wrapperType);
    if (!wrapperVersion.empty()) app.setWrapperVersion(wrapperVersion);
}
