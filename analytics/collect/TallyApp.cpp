#include "analytics/collect/TallyApp.h"

#include "analytics/support/TallyLog.h"

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
