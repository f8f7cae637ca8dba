#include "analytics/collect/TallyInternal.h"

#include <cmath>
#include <random>

#include "analytics/collect/TallyRuntime.h"
#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyLog.h"

using platform::Value;

namespace {

// The dispatcher hands a record over whole: from here on the collector is
// its only user and may complete it.
template <class T>
std::shared_ptr<T> record(const Value& v) {
    return std::const_pointer_cast<T>(v.asObject<T>());
}

template <class T>
void append(std::vector<std::shared_ptr<T>>& to, std::vector<std::shared_ptr<T>>& from) {
    to.insert(to.end(), from.begin(), from.end());
    from.clear();
}

template <class T>
std::shared_ptr<T> popBegin(std::map<std::string, std::deque<std::shared_ptr<T>>>& stacks,
                            const std::string& key) {
    auto it = stacks.find(key);
    if (it == stacks.end()) return nullptr;
    auto begin = it->second.front();
    it->second.pop_front();
    if (it->second.empty()) stacks.erase(it);
    return begin;
}

int64_t durationMs(double from, double to) {
    return static_cast<int64_t>(std::llround((to - from) * 1000));
}

}  // namespace

TallyInternal::TallyInternal(TallyRuntime& runtime) : runtime_(runtime) {
    sessionID = makeSessionID(runtime.now(), {});
}

std::string TallyInternal::makeSessionID(double unixSeconds, const std::string& appKey) {
    thread_local std::mt19937 random{std::random_device{}()};
    const uint32_t a = random();
    const uint32_t b = random();
    return TLANUtil::md5(TLFormat("%f%s%u%u", unixSeconds, appKey.c_str(), a, b));
}

bool TallyInternal::hasPendingData() const {
    return !terminates.empty() || !events.empty() || !ekv.empty() || !errors.empty() ||
           !temporary.empty();
}

void TallyInternal::workEvent(const TLDispatchEvent& event) {
    const Value& object = event.object;
    switch (event.eEventType) {
        case kTLDispatchSessionBegin:
            sessionBegin(object.asBool().value_or(false));
            break;
        case kTLDispatchSessionEnd:
            sessionEnd(object.asInteger().value_or(0));
            break;
        case kTLDispatchEvent:
            addRecord(event.eEventType, record<TLANEvent>(object));
            break;
        case kTLDispatchError:
            addRecord(event.eEventType, record<TLANError>(object));
            break;
        case kTLDispatchEkv:
            addRecord(event.eEventType, record<TLANEkv>(object));
            break;
        case kTLDispatchKeyPath:
            if (auto* dict = object.asDictionary()) {
                runtime_.pipeline()->aggregate(*dict, static_cast<int64_t>(runtime_.now() * 1000));
            }
            break;
        case kTLDispatchEventBegin:
            if (auto e = record<TLANEvent>(object)) {
                e->stamp(sessionID);
                eventBeginTimes[e->event_id + e->label].push_front(e);
            }
            break;
        case kTLDispatchEventEnd:
            if (auto end = record<TLANEvent>(object)) {
                end->stamp(sessionID);
                if (auto begin = popBegin(eventBeginTimes, end->event_id + end->label)) {
                    begin->du = durationMs(begin->ts, end->ts);
                    addRecord(kTLDispatchEvent, begin);
                }
            }
            break;
        case kTLDispatchEkvBegin:
            if (auto e = record<TLANEkv>(object)) {
                e->stamp(sessionID);
                ekvBeginTimes[e->id + e->key].push_front(e);
            }
            break;
        case kTLDispatchEkvEnd:
            if (auto end = record<TLANEkv>(object)) {
                end->stamp(sessionID);
                if (auto begin = popBegin(ekvBeginTimes, end->id + end->key)) {
                    begin->du = durationMs(begin->ts, end->ts);
                    addRecord(kTLDispatchEkv, begin);
                }
            }
            break;
        case kTLDispatchPageDuration:
            if (object.isArray()) {
                pageItems.push_back(object);
                runtime_.pipeline()->journalPage(object);
                TLLog("pageDuration:%s", object.description().c_str());
            }
            break;
        case kTLDispatchPageBegin:
            if (auto* name = object.asString()) {
                const double now = runtime_.now();
                pageItemsHash[*name] = now;
                TLLog("pageBegin=%s, beginTime:%s %s", name->c_str(),
                      TLANUtil::dateString(now).c_str(), TLANUtil::timeMillisString(now).c_str());
            }
            break;
        case kTLDispatchPageEnd:
            if (auto* name = object.asString()) pageEnd(*name);
            break;
        case kTLDispatchProfileSignIn:
            if (auto* dict = object.asDictionary()) profileSignIn(*dict);
            break;
        case kTLDispatchProfileSignOff:
            profileSignOff();
            break;
        default:
            break;
    }
}

void TallyInternal::sessionBegin(bool newSessionId) {
    TallyApp& app = runtime_.app();
    app.endBackgroundTask();
    if (newSessionId) sessionID = makeSessionID(runtime_.now(), app.appid());
    inSession_ = true;
    append(events, temporary.events);
    append(errors, temporary.errors);
    append(ekv, temporary.ekv);
    auto pipeline = runtime_.pipeline();
    pipeline->loadCache(*this);
    pipeline->journalSessionBegan(sessionID, runtime_.session().lastLaunchTime);
    const auto storedVersion = runtime_.config().stringWithKey("TLAppVersion");
    if (storedVersion && *storedVersion != app.appVersion() && hasPendingData()) {
        // Data of the previous version goes out under that version.
        pipeline->makeEnvelope(*this);
    }
    if (!runtime_.session().appInBackGround) pipeline->preparePerformJob(*this, 0);
    TLLog("session begin:%s", sessionID.c_str());
}

void TallyInternal::sessionEnd(int64_t duration) {
    stopSession(duration);
    inSession_ = false;
    TLLog("session end:%s", sessionID.c_str());
    TLLog("smart policy enter while background");
    auto pipeline = runtime_.pipeline();
    pipeline->preparePerformJob(*this, 0);
    pipeline->saveAndCleanCache(*this);
    TLLog("save cache done");
}

void TallyInternal::sessionEndNow(int64_t duration, bool sessionRunning) {
    if (sessionRunning) stopSession(duration);
    inSession_ = false;
    runtime_.pipeline()->saveAndCleanCache(*this);
}

void TallyInternal::stopSession(int64_t duration) {
    auto t = std::make_shared<TLANTerminate>();
    t->ts = runtime_.now();
    t->duration = duration;
    const TallyLocation::Fix fix = runtime_.location().take();
    t->latitude = fix.latitude;
    t->longitude = fix.longitude;
    t->gps_time = fix.gps_time;
    t->pageViews = std::move(pageItems);
    pageItems.clear();
    t->stamp(sessionID);
    runtime_.pipeline()->journalRecord(*t);
    terminates.push_back(std::move(t));
}

bool TallyInternal::periodAllowsRecord() {
    TallyConfig& config = runtime_.config();
    const auto now = static_cast<int64_t>(runtime_.now());
    const auto start = config.integerWithKey("tlSeparatedTime");
    // A period cannot start in the future: after the clock was set back the
    // count starts again instead of waiting for the old date.
    if (start && (now - *start > kPeriodSeconds || now < *start)) {
        config.setConfigure(Value(int64_t{0}), "tlPeriodEvtCount");
        config.setConfigure(Value(now), "tlSeparatedTime");
    }
    const int64_t count = static_cast<int64_t>(events.size() + ekv.size() +
                                               temporary.events.size() + temporary.ekv.size()) +
                          config.integerWithKey("tlPeriodEvtCount").value_or(0);
    const int limit =
        runtime_.app().isGameScenario() ? kMaxGameEventsPerPeriod : kMaxEventsPerPeriod;
    if (count >= limit) {
        TLLog("WARNING event max count %d per 8 hours.", limit);
        return false;
    }
    return true;
}

void TallyInternal::addRecord(int16_t type, const std::shared_ptr<TLANBaseEvent>& r) {
    if (!r || !periodAllowsRecord()) return;
    r->stamp(sessionID);
    switch (type) {
        case kTLDispatchEvent:
            (inSession_ ? events : temporary.events)
                .push_back(std::static_pointer_cast<TLANEvent>(r));
            break;
        case kTLDispatchError:
            (inSession_ ? errors : temporary.errors)
                .push_back(std::static_pointer_cast<TLANError>(r));
            break;
        default:
            (inSession_ ? ekv : temporary.ekv).push_back(std::static_pointer_cast<TLANEkv>(r));
            break;
    }
    auto pipeline = runtime_.pipeline();
    pipeline->journalRecord(*r);
    if (inSession_) pipeline->preparePerformJob(*this, 1);
}

void TallyInternal::pageEnd(const std::string& name) {
    auto it = pageItemsHash.find(name);
    if (it == pageItemsHash.end()) return;
    const auto seconds = static_cast<int64_t>(runtime_.now() - it->second);
    if (seconds >= 1) {
        Value::Array item;
        item.emplace_back(name);
        item.emplace_back(seconds);
        runtime_.pipeline()->journalPage(Value(item));
        pageItems.emplace_back(std::move(item));
    }
    TLLog("pageEnd=%s, duration:%d", name.c_str(), static_cast<int>(seconds));
    pageItemsHash.erase(it);
}

void TallyInternal::profileSignIn(const Value::Dictionary& profile) {
    TallyConfig& config = runtime_.config();
    auto field = [&](const char* key) {
        auto it = profile.find(key);
        return it != profile.end() && it->second.isString() ? *it->second.asString()
                                                            : std::string();
    };
    const std::string provider = field("TLProfileProvider");
    const std::string puid = field("TLProfilePUID");
    if (config.stringWithKey("TLProfileProvider") == provider &&
        config.stringWithKey("TLProfilePUID") == puid) {
        return;
    }
    if (inSession_) turnOverSession();
    config.setConfigure(Value(provider), "TLProfileProvider");
    config.setConfigure(Value(puid), "TLProfilePUID");
}

void TallyInternal::profileSignOff() {
    TallyConfig& config = runtime_.config();
    if (config.configureWithKey("TLProfilePUID").isNull()) return;
    if (inSession_) turnOverSession();
    config.removeConfigureWithKey("TLProfileProvider");
    config.removeConfigureWithKey("TLProfilePUID");
}

void TallyInternal::turnOverSession() {
    TallySession& session = runtime_.session();
    stopSession(session.currentDuration());
    session.lastLaunchTime = runtime_.now();
    sessionID = makeSessionID(runtime_.now(), runtime_.app().appid());
    // The finished session goes out under the profile it was recorded with.
    auto pipeline = runtime_.pipeline();
    pipeline->makeEnvelope(*this);
    pipeline->journalSessionBegan(sessionID, session.lastLaunchTime);
}
