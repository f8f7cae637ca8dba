#include "analytics/collect/TLANBaseEvent.h"

#include <cmath>

#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyLog.h"
#include "analytics/support/TallyText.h"

using platform::KeyedArchiver;
using platform::KeyedUnarchiver;
using platform::Value;

namespace {

constexpr size_t kMaxLabelBytes = 256;
constexpr size_t kMaxAttributeKeyBytes = 128;
constexpr size_t kMaxAttributeValueBytes = 256;

// Absent keys keep the default; a key holding another type rejects the record.
bool decodeString(KeyedUnarchiver& c, const char* key, std::string& out) {
    if (!c.containsValueForKey(key)) return true;
    Value v = c.decodeObjectForKey(key);
    if (v.isNull()) return true;
    if (!v.isString()) return false;
    out = *v.asString();
    return true;
}

bool decodeDictionary(KeyedUnarchiver& c, const char* key, Value::Dictionary& out) {
    if (!c.containsValueForKey(key)) return true;
    Value v = c.decodeObjectForKey(key);
    if (v.isNull()) return true;
    if (!v.isDictionary()) return false;
    out = *v.asDictionary();
    return true;
}

bool decodeInt(KeyedUnarchiver& c, const char* key, int64_t& out) {
    if (!c.containsValueForKey(key)) return true;
    auto v = c.decodeInt64ForKey(key);
    if (!v) return false;
    out = *v;
    return true;
}

bool decodeDouble(KeyedUnarchiver& c, const char* key, double& out) {
    if (!c.containsValueForKey(key)) return true;
    auto v = c.decodeDoubleForKey(key);
    if (!v) return false;
    out = *v;
    return true;
}

int64_t milliseconds(double unixSeconds) {
    return static_cast<int64_t>(std::llround(unixSeconds * 1000));
}

template <class T>
platform::ObjectRef decodeAs(KeyedUnarchiver& c) {
    return T::initWithCoder(c);
}

}  // namespace

void TLANBaseEvent::stamp(const std::string& sessionId) {
    session_id = sessionId;
    date = TLANUtil::dateString(ts);
    time = TLANUtil::timeString(ts);
}

std::vector<std::string> TLANBaseEvent::archiveClassHierarchy() const {
    return {"TLANBaseEvent", "NSObject"};
}

void TLANBaseEvent::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeObject(Value(type), "self.type");
    coder.encodeObject(Value(date), "self.date");
    coder.encodeObject(Value(time), "self.time");
    coder.encodeObject(Value(session_id), "self.session_id");
    coder.encodeDouble(ts, "self.ts");
    coder.encodeBool(sendingFlag, "self.sendingFlag");
}

bool TLANBaseEvent::decodeBase(KeyedUnarchiver& c) {
    if (!decodeString(c, "self.type", type) || !decodeString(c, "self.date", date) ||
        !decodeString(c, "self.time", time) || !decodeString(c, "self.session_id", session_id) ||
        !decodeDouble(c, "self.ts", ts)) {
        return false;
    }
    if (c.containsValueForKey("self.sendingFlag")) {
        auto flag = c.decodeBoolForKey("self.sendingFlag");
        if (!flag) return false;
        sendingFlag = *flag;
    }
    return true;
}

const KeyedUnarchiver::ClassTable& TLANBaseEvent::archiveClasses() {
    static const KeyedUnarchiver::ClassTable classes = {
        {"TLANEvent", decodeAs<TLANEvent>},
        {"TLANEkv", decodeAs<TLANEkv>},
        {"TLANError", decodeAs<TLANError>},
        {"TLANTerminate", decodeAs<TLANTerminate>},
    };
    return classes;
}

// TLANEvent

Value::Dictionary TLANEvent::attributes() const {
    Value::Dictionary out{{"ts", Value(milliseconds(ts))}, {"id", Value(event_id)}};
    if (du >= 1) out["du"] = Value(du);
    // An event named like a field would overwrite it with its label.
    const bool clashes = event_id == "id" || event_id == "ts" || event_id == "du";
    if (!label.empty() && !clashes) {
        std::string cut = label;
        if (label.size() > kMaxLabelBytes) {
            TLLog("(Warning) Tally event label (%s) max bytes length > %d", label.c_str(),
                  static_cast<int>(kMaxLabelBytes));
            cut = TallyText::truncateBytes(label, kMaxLabelBytes);
        }
        out[event_id] = Value(std::move(cut));
    }
    return out;
}

std::vector<std::string> TLANEvent::archiveClassHierarchy() const {
    return {"TLANEvent", "TLANBaseEvent", "NSObject"};
}

void TLANEvent::encodeWithCoder(KeyedArchiver& coder) const {
    TLANBaseEvent::encodeWithCoder(coder);
    coder.encodeObject(Value(event_id), "self.event_id");
    coder.encodeObject(Value(label), "self.label");
    coder.encodeInt64(acc, "self.acc");
    coder.encodeObject(Value(values), "self.values");
    coder.encodeInt64(du, "self.du");
}

std::shared_ptr<TLANEvent> TLANEvent::initWithCoder(KeyedUnarchiver& c) {
    auto e = std::make_shared<TLANEvent>();
    if (!e->decodeBase(c) || !decodeString(c, "self.event_id", e->event_id) ||
        !decodeString(c, "self.label", e->label) || !decodeInt(c, "self.acc", e->acc) ||
        !decodeDictionary(c, "self.values", e->values) || !decodeInt(c, "self.du", e->du)) {
        return nullptr;
    }
    return e;
}

// TLANEkv

std::shared_ptr<TLANEkv> TLANEkv::make(const std::string& kind, const std::string& eventId,
                                       const std::string& primaryKey,
                                       const Value::Dictionary& attributes) {
    for (const char* reserved : {"id", "ts", "du"}) {
        if (attributes.count(reserved)) {
            TLLog("TLLOG: (ERROR) 关键字id, ts, du是统计SDK保留字段，不能作为key使用。");
            return nullptr;
        }
    }
    auto e = std::make_shared<TLANEkv>();
    e->type = kind;
    e->id = eventId;
    e->key = primaryKey;
    const bool game = kind == "gkv";
    for (const auto& [key, value] : attributes) {
        if (!game && !value.isString()) {
            TLLog(
                "TLLOG: (ERROR) Tally event's keys and values must be string ,key's max length 128 "
                "and value's max length 256");
            continue;
        }
        std::string k = TallyText::truncateBytes(key, kMaxAttributeKeyBytes);
        Value v = game
                      ? value
                      : Value(TallyText::truncateBytes(*value.asString(), kMaxAttributeValueBytes));
        e->values.insert_or_assign(std::move(k), std::move(v));
    }
    return e;
}

Value::Dictionary TLANEkv::attributes() const {
    Value::Dictionary out = values;
    out["ts"] = Value(milliseconds(ts));
    out["id"] = Value(id);
    if (du >= 1) out["du"] = Value(du);
    return out;
}

std::vector<std::string> TLANEkv::archiveClassHierarchy() const {
    return {"TLANEkv", "TLANBaseEvent", "NSObject"};
}

void TLANEkv::encodeWithCoder(KeyedArchiver& coder) const {
    TLANBaseEvent::encodeWithCoder(coder);
    coder.encodeObject(Value(id), "self.id");
    coder.encodeObject(Value(key), "self.key");
    coder.encodeObject(Value(values), "self.values");
    coder.encodeInt64(du, "self.du");
}

std::shared_ptr<TLANEkv> TLANEkv::initWithCoder(KeyedUnarchiver& c) {
    auto e = std::make_shared<TLANEkv>();
    if (!e->decodeBase(c) || !decodeString(c, "self.id", e->id) ||
        !decodeString(c, "self.key", e->key) || !decodeDictionary(c, "self.values", e->values) ||
        !decodeInt(c, "self.du", e->du)) {
        return nullptr;
    }
    return e;
}

// TLANError

std::vector<std::string> TLANError::archiveClassHierarchy() const {
    return {"TLANError", "TLANBaseEvent", "NSObject"};
}

void TLANError::encodeWithCoder(KeyedArchiver& coder) const {
    TLANBaseEvent::encodeWithCoder(coder);
    coder.encodeObject(Value(context), "self.context");
}

std::shared_ptr<TLANError> TLANError::initWithCoder(KeyedUnarchiver& c) {
    auto e = std::make_shared<TLANError>();
    if (!e->decodeBase(c) || !decodeString(c, "self.context", e->context)) return nullptr;
    return e;
}

// TLANTerminate

std::vector<std::string> TLANTerminate::archiveClassHierarchy() const {
    return {"TLANTerminate", "TLANBaseEvent", "NSObject"};
}

void TLANTerminate::encodeWithCoder(KeyedArchiver& coder) const {
    TLANBaseEvent::encodeWithCoder(coder);
    coder.encodeInt64(duration, "self.duration");
    coder.encodeObject(Value(pageViews), "self.pageViews");
    coder.encodeDouble(latitude, "self.latitude");
    coder.encodeDouble(longitude, "self.longitude");
    coder.encodeInt64(gps_time, "self.gps_time");
}

std::shared_ptr<TLANTerminate> TLANTerminate::initWithCoder(KeyedUnarchiver& c) {
    auto e = std::make_shared<TLANTerminate>();
    if (!e->decodeBase(c) || !decodeInt(c, "self.duration", e->duration) ||
        !decodeDouble(c, "self.latitude", e->latitude) ||
        !decodeDouble(c, "self.longitude", e->longitude) ||
        !decodeInt(c, "self.gps_time", e->gps_time)) {
        return nullptr;
    }
    if (c.containsValueForKey("self.pageViews")) {
        Value pages = c.decodeObjectForKey("self.pageViews");
        if (!pages.isArray()) return nullptr;
        e->pageViews = *pages.asArray();
    }
    return e;
}
