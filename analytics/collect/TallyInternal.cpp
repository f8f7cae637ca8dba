#include "analytics/collect/TallyInternal.h"

#include <cmath>
#include <random>

#include "analytics/collect/TallyApp.h"
#include "analytics/collect/TallyConfig.h"
#include "analytics/collect/TallyLocation.h"
#include "analytics/collect/TallyPipeline.h"
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

TallyInternal::TallyInternal(TallyCollectorHost& host) : host_(host) {
    sessionID = makeSessionID(host.now(), {});
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
                host_.pipeline()->aggregate(*dict, static_cast<int64_t>(host_.now() * 1000));
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
                host_.pipeline()->journalPage(object);
                TLLog("pageDuration:%s", object.description().c_str());
            }
            break;
        case kTLDispatchPageBegin:
            if (auto* name = object.asString()) {
                const double now = host_.now();
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
    TallyApp& app = host_.app();
    app.endBackgroundTask();
    if (newSessionId) sessionID = makeSessionID(host_.now(), app.appid());
    inSession_ = true;
    append(events, temporary.events);
    append(errors, temporary.errors);
    append(ekv, temporary.ekv);
    auto pipeline = host_.pipeline();
    pipeline->loadCache(*this);
    pipeline->journalSessionBegan(sessionID, host_.sessionBegan());
    const auto storedVersion = host_.config().stringWithKey("TLAppVersion");
    if (storedVersion && *storedVersion != app.appVersion() && hasPendingData()) {
        // Data of the previous version goes out under that version.
        pipeline->makeEnvelope(*this);
    }
    if (!host_.inBackground()) pipeline->preparePerformJob(*this, 0);
    TLLog("session begin:%s", sessionID.c_str());
}

void TallyInternal::sessionEnd(int64_t duration) {
    stopSession(duration);
    inSession_ = false;
    TLLog("session end:%s", sessionID.c_str());
    TLLog("smart policy enter while background");
    auto pipeline = host_.pipeline();
    pipeline->preparePerformJob(*this, 0);
    pipeline->saveAndCleanCache(*this);
    TLLog("save cache done");
}

void TallyInternal::sessionEndNow(int64_t duration, bool sessionRunning) {
    if (sessionRunning) stopSession(duration);
    inSession_ = false;
    host_.pipeline()->saveAndCleanCache(*this);
}

void TallyInternal::stopSession(int64_t duration) {
    auto t = std::make_shared<TLANTerminate>();
    t->ts = host_.now();
    t->duration = duration;
    const TallyLocation::Fix fix = host_.location().take();
    t->latitude = fix.latitude;
    t->longitude = fix.longitude;
    t->gps_time = fix.gps_time;
    t->pageViews = std::move(pageItems);
    pageItems.clear();
    t->stamp(sessionID);
    host_.pipeline()->journalRecord(*t);
    terminates.push_back(std::move(t));
}

bool TallyInternal::periodAllowsRecord() {
    TallyConfig& config = host_.config();
    const auto now = static_cast<int64_t>(host_.now());
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
    const int limit = host_.app().isGameScenario() ? kMaxGameEventsPerPeriod : kMaxEventsPerPeriod;
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
    auto pipeline = host_.pipeline();
    pipeline->journalRecord(*r);
    if (inSession_) pipeline->preparePerformJob(*this, 1);
}

void TallyInternal::pageEnd(const std::string& name) {
    auto it = pageItemsHash.find(name);
    if (it == pageItemsHash.end()) return;
    const auto seconds = static_cast<int64_t>(host_.now() - it->second);
    if (seconds >= 1) {
        Value::Array item;
        item.emplace_back(name);
        item.emplace_back(seconds);
        host_.pipeline()->journalPage(Value(item));
        pageItems.emplace_back(std::move(item));
    }
    TLLog("pageEnd=%s, duration:%d", name.c_str(), static_cast<int>(seconds));
    pageItemsHash.erase(it);
}

void TallyInternal::profileSignIn(const Value::Dictionary& profile) {
    TallyConfig& config = host_.config();
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
    TallyConfig& config = host_.config();
    if (config.configureWithKey("TLProfilePUID").isNull()) return;
    if (inSession_) turnOverSession();
    config.removeConfigureWithKey("TLProfileProvider");
    config.removeConfigureWithKey("TLProfilePUID");
}

void TallyInternal::turnOverSession() {
    stopSession(host_.sessionDuration());
    host_.setSessionBegan(host_.now());
    sessionID = makeSessionID(host_.now(), host_.app().appid());
    // The finished session goes out under the profile it was recorded with.
    auto pipeline = host_.pipeline();
    pipeline->makeEnvelope(*this);
    pipeline->journalSessionBegan(sessionID, host_.sessionBegan());
}
