#include "analytics/TallyApp.h"

#include "analytics/TallyLog.h"
#include "analytics/TallyRuntime.h"

TallyApp& TallyApp::sharedInstance() {
    return TallyRuntime::current().app();
}

void TallyApp::beginBackgroundTask() {
    if (!backgroundTaskEnabled) return;
    const int id = ++nextBackgroundTask_;
    backgroundTask_ = id;
    TLLog("beginbg id:%d", id);
}

void TallyApp::endBackgroundTask() {
    backgroundTask_ = 0;
}

void TallyApp::expireBackgroundTask() {
    const int id = backgroundTask_.exchange(0);
    if (id != 0) TLLog("expirationbg id:%d", id);
}
