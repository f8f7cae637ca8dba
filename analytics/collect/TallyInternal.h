#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analytics/collect/TLANBaseEvent.h"
#include "analytics/collect/TallyCollectorHost.h"
#include "foundation/Value.h"

// What a dispatched item is; the numbers are the collector's table.
enum TLDispatchType : int16_t {
    kTLDispatchSessionBegin = 0,
    kTLDispatchSessionEnd = 1,
    kTLDispatchEvent = 2,
    kTLDispatchError = 3,
    kTLDispatchEkv = 4,
    kTLDispatchKeyPath = 5,
    kTLDispatchEventBegin = 6,
    kTLDispatchEventEnd = 7,
    kTLDispatchEkvBegin = 8,
    kTLDispatchEkvEnd = 9,
    kTLDispatchPageDuration = 10,
    kTLDispatchPageBegin = 11,
    kTLDispatchPageEnd = 12,
    kTLDispatchProfileSignIn = 13,
    kTLDispatchProfileSignOff = 14,
};

struct TLDispatchEvent {
    int16_t eEventType = 0;
    platform::Value object;
};

// The collector: keeps everything recorded until it goes into an envelope
// or the cache file. Everything here runs on the main thread, one
// dispatched item at a time, in the order of dispatch.
class TallyInternal {
public:
    static constexpr int kMaxEventsPerPeriod = 5000;
    static constexpr int kMaxGameEventsPerPeriod = 10000;
    static constexpr int64_t kPeriodSeconds = 8 * 3600;

    explicit TallyInternal(TallyCollectorHost& host);

    void workEvent(const TLDispatchEvent& event);

    // Records made outside a session (before the first one, or while the
    // application is in the background); merged at the next session begin.
    struct Container {
        std::vector<std::shared_ptr<TLANEvent>> events;
        std::vector<std::shared_ptr<TLANError>> errors;
        std::vector<std::shared_ptr<TLANEkv>> ekv;
        bool empty() const { return events.empty() && errors.empty() && ekv.empty(); }
    };

    std::vector<std::shared_ptr<TLANTerminate>> terminates;
    std::vector<std::shared_ptr<TLANEvent>> events;
    std::vector<std::shared_ptr<TLANEkv>> ekv;
    std::vector<std::shared_ptr<TLANError>> errors;
    Container temporary;
    // Begin records of timed events, newest first, by id + label (plain)
    // and id + primary key (attributes).
    std::map<std::string, std::deque<std::shared_ptr<TLANEvent>>> eventBeginTimes;
    std::map<std::string, std::deque<std::shared_ptr<TLANEkv>>> ekvBeginTimes;
    platform::Value::Array pageItems;             // [page name, seconds]
    std::map<std::string, double> pageItemsHash;  // page name → begin time
    platform::Value::Dictionary error_support_info;
    std::string sessionID;

    // Whether the collector is inside a session, as of the items handled so far.
    bool inSession() const { return inSession_; }
    bool hasPendingData() const;

    // Adds the record of the running session with `duration` seconds,
    // carrying the location and the pages logged since, which are reset.
    void stopSession(int64_t duration);
    // The application is being terminated: end the session (when one runs)
    // and save the cache at once.
    void sessionEndNow(int64_t duration, bool sessionRunning);

    // MD5 (upper-case hex) of "%f%s%u%u": time, application key, two randoms.
    static std::string makeSessionID(double unixSeconds, const std::string& appKey);

private:
    void sessionBegin(bool newSessionId);
    void sessionEnd(int64_t duration);
    // Types 2, 3, 4: through the eight-hour limit into the collections.
    void addRecord(int16_t type, const std::shared_ptr<TLANBaseEvent>& record);
    bool periodAllowsRecord();
    void pageEnd(const std::string& name);
    void profileSignIn(const platform::Value::Dictionary& profile);
    void profileSignOff();
    // A profile change ends the running session and starts a new one.
    void turnOverSession();

    TallyCollectorHost& host_;
    bool inSession_ = false;
};
