#include "analytics/collect/TallySession.h"

#include "analytics/collect/TLWorkDispatch.h"
#include "analytics/collect/TallyApp.h"
#include "analytics/collect/TallyConfig.h"
#include "analytics/collect/TallyInternal.h"
#include "analytics/collect/TallyPipeline.h"
#include "analytics/collect/TallySessionHost.h"
#include "analytics/support/TallyLog.h"
#include "foundation/Application.h"
#include "foundation/RunLoop.h"

using platform::Value;

TallySession::TallySession(TallySessionHost& host) : host_(host) {
    lastLaunchTime = host.now();
}

void TallySession::startWithAppkey(const std::string& appKey, int reportPolicy,
                                   const std::string& channelId) {
    TallyApp& app = host_.app();
    TallyConfig& config = host_.config();
    TLLog("analytics sdk version %s , app version %s", TallyApp::kSDKVersion,
          app.appVersion().c_str());
    if (appKey.empty()) {
        TLLog(
            "TLLOG: appkey can not be found or not valid. Tally methods must be called after "
            "[Tally startWithAppkey...]!");
        return;
    }
    const auto stored = config.stringWithKey("appkey");
    if (stored && !stored->empty() && *stored != appKey) {
        TLLog("WARNING: Appkey is different with the past.");
    }
    if (!stored || *stored != appKey) config.setConfigure(Value(appKey), "appkey");

    config.setConfigure(Value(reportPolicy), "tlcReportPolicy");
    app.reportPolicy = reportPolicy;
    app.setAppid(appKey);
    if (config.configureWithKey("tlSeparatedTime").isNull()) {
        config.setConfigure(Value(static_cast<int64_t>(host_.now())), "tlSeparatedTime");
    }
    if (!channelId.empty()) app.setChannel(channelId);

    if (!observerRegistered.exchange(true)) {
        auto& center = host_.notificationCenter();
        observers_.push_back(
            center.addObserver(platform::kApplicationDidBecomeActiveNotification, nullptr,
                               [this](const platform::Notification&) { appActivate(); }));
        for (const char* name : {platform::kApplicationWillResignActiveNotification,
                                 platform::kApplicationWillTerminateNotification}) {
            observers_.push_back(center.addObserver(
                name, nullptr, [this](const platform::Notification& n) { appInactivate(n.name); }));
        }
        host_.pipeline()->setCrashReportEnabled(app.crashReportEnabled);
    }

    host_.onMain([this] {
        if (sessionStatus == kNeverStarted) appActivate();
    });
}

void TallySession::appActivate() {
    appInBackGround = false;
    const int previous = sessionStatus.exchange(kActive);
    if (previous == kActive) TLLog("WARNING app has already activate.");
    lastLaunchTime = host_.now();
    // The new id is made by the collector when it reaches this item, so
    // records sent before the activation keep the session they belong to.
    host_.dispatch().send(Value(previous != kNeverStarted), kTLDispatchSessionBegin);
}

void TallySession::appInactivate(const std::string& notificationName) {
    appInBackGround = true;
    const int previous = sessionStatus.exchange(kInactive);
    if (notificationName == platform::kApplicationWillTerminateNotification) appBeKilling = true;
    const int64_t duration = currentDuration();
    if (!appCrashed && !appBeKilling) {
        host_.app().beginBackgroundTask();
        host_.dispatch().send(Value(duration), kTLDispatchSessionEnd);
        return;
    }
    // The process is about to end: no time for the main loop to come round.
    // A session that already ended when the application left the foreground
    // is not ended a second time.
    const bool sessionRunning = previous == kActive;
    auto finish = [this, duration, sessionRunning] {
        host_.internal().sessionEndNow(duration, sessionRunning);
    };
    if (host_.runLoop().isCurrentThread()) {
        finish();
    } else {
        host_.onMain(finish);
    }
}

int64_t TallySession::reportedDuration(double seconds) {
    const auto whole = static_cast<int64_t>(seconds);
    if (whole < 0) return 0;
    return whole > 7200 ? 3600 : whole;
}

int64_t TallySession::currentDuration() const {
    return reportedDuration(host_.now() - lastLaunchTime);
}
