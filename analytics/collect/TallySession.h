#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/NotificationCenter.h"

class TallySessionHost;

// The session tracker: a session runs from the application's activation to
// its move to the background.
class TallySession {
public:
    explicit TallySession(TallySessionHost& host);

    enum Status { kNeverStarted = 0, kActive = 1, kInactive = 2 };

    std::atomic<bool> observerRegistered{false};
    std::atomic<bool> appInBackGround{false};
    std::atomic<bool> appBeKilling{false};
    std::atomic<bool> appCrashed{false};
    std::atomic<int> sessionStatus{kNeverStarted};
    std::atomic<double> lastLaunchTime{0};  // seconds since 1970

    // Starts the SDK's sessions for `appKey` (see Tally::startWithConfigure).
    void startWithAppkey(const std::string& appKey, int reportPolicy, const std::string& channelId);

    void appActivate();
    // `notificationName` tells a termination from a move to the background.
    void appInactivate(const std::string& notificationName);

    // A session's length as reported: whole seconds, but a session over two
    // hours counts as one hour (a device left asleep is not a session).
    static int64_t reportedDuration(double seconds);
    // The reported length of the session running now.
    int64_t currentDuration() const;

private:
    TallySessionHost& host_;
    std::vector<platform::NotificationToken> observers_;
};
