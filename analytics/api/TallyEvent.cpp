#include "analytics/api/TallyEvent.h"

#include "analytics/collect/TLANBaseEvent.h"
#include "analytics/collect/TallyRuntime.h"
#include "analytics/support/TallyLog.h"
#include "analytics/support/TallyText.h"

using platform::Value;

namespace {

double callTime() {
    return TallyRuntime::current().now();
}

void dispatch(Value object, int16_t type) {
    TallyRuntime::current().dispatch().send(std::move(object), type);
}

std::shared_ptr<TLANEvent> makeEvent(const std::string& eventId, const std::string& label) {
    auto e = std::make_shared<TLANEvent>();
    e->event_id = eventId;
    e->label = label;
    e->ts = callTime();
    return e;
}

std::string describe(const Value::Array& path) {
    std::string out = "(";
    for (size_t i = 0; i < path.size(); ++i) {
        if (i) out += ", ";
        out += path[i].isString() ? *path[i].asString() : path[i].description();
    }
    return out + ")";
}

}  // namespace

bool TallyEvent::isValidEventId(const std::string& eventId) {
    if (eventId.size() > kMaxEventIdBytes || TallyText::isBlank(eventId)) {
        TLLog("TLLOG: (Warning) event_id (%s) max bytes length > %d", eventId.c_str(),
              static_cast<int>(kMaxEventIdBytes));
        return false;
    }
    return true;
}

void TallyEvent::event(const std::string& eventId, const std::string& label, int64_t accumulation,
                       int64_t milliseconds) {
    if (!isValidEventId(eventId)) return;
    if (milliseconds >= kMaxDurationMs) return;
    auto e = makeEvent(eventId, label);
    e->acc = accumulation;
    e->du = milliseconds;
    dispatch(Value(std::move(e)), kTLDispatchEvent);
}

Value::Dictionary TallyEvent::trimAttributes(const Value::Dictionary& attributes) {
    const bool counted = attributes.count(kCounterKey) > 0;
    if (attributes.size() <= kMaxAttributes + (counted ? 1 : 0)) return attributes;
    Value::Dictionary kept;
    for (const auto& [key, value] : attributes) {
        if (key == kCounterKey) {
            kept.emplace(key, value);
        } else if (kept.size() - (kept.count(kCounterKey) ? 1 : 0) < kMaxAttributes) {
            kept.emplace(key, value);
        }
    }
    return kept;
}

void TallyEvent::event(const std::string& eventId, const Value::Dictionary& attributes,
                       int64_t milliseconds) {
    if (!isValidEventId(eventId) || attributes.empty()) return;
    auto e = TLANEkv::make("ekv", eventId, {}, trimAttributes(attributes));
    if (!e) return;
    e->ts = callTime();
    if (milliseconds > 0) e->du = milliseconds;
    dispatch(Value(std::move(e)), kTLDispatchEkv);
}

void TallyEvent::beginEvent(const std::string& eventId, const std::string& label) {
    if (!isValidEventId(eventId)) return;
    auto e = makeEvent(eventId, label);
    e->acc = 0;
    dispatch(Value(std::move(e)), kTLDispatchEventBegin);
}

void TallyEvent::endEvent(const std::string& eventId, const std::string& label) {
    if (!isValidEventId(eventId)) return;
    auto e = makeEvent(eventId, label);
    e->acc = 0;
    dispatch(Value(std::move(e)), kTLDispatchEventEnd);
}

void TallyEvent::beginEvent(const std::string& eventId, const std::string& primaryKey,
                            const Value::Dictionary& attributes) {
    if (!isValidEventId(eventId) || primaryKey.empty() || attributes.empty()) return;
    auto e = TLANEkv::make("ekv", eventId, primaryKey, trimAttributes(attributes));
    if (!e) return;
    e->ts = callTime();
    dispatch(Value(std::move(e)), kTLDispatchEkvBegin);
}

void TallyEvent::endEventWithPrimaryKey(const std::string& eventId, const std::string& primaryKey) {
    if (!isValidEventId(eventId) || primaryKey.empty()) return;
    auto e = std::make_shared<TLANEkv>();
    e->id = eventId;
    e->key = primaryKey;
    e->ts = callTime();
    dispatch(Value(std::move(e)), kTLDispatchEkvEnd);
}

std::optional<Value::Dictionary> TallyEvent::keyPathPayload(const Value::Array& keyPath,
                                                            int64_t value, const std::string& label,
                                                            bool inBackground) {
    if (keyPath.empty()) {
        TLLog("TLLOG:(ERROR) event's path is empty.");
        return std::nullopt;
    }
    const std::string pathText = describe(keyPath);
    if (inBackground) {
        TLLog("TLLOG:(WARNING) %s event not support in background mode.", pathText.c_str());
        return std::nullopt;
    }
    std::vector<std::string> items;
    for (const Value& item : keyPath) {
        if (!item.isString()) {
            TLLog("TLLOG:(ERROR) keypath's item must be NSString.");
            return std::nullopt;
        }
        items.push_back(*item.asString());
    }
    const std::string first = items.front();  // a copy: `items` may be replaced below
    if (!TallyText::passesCharacterCheck(first)) {
        TLLog("TLLOG: (ERROR) %s path is invalid.", first.c_str());
        return std::nullopt;
    }
    if (TallyText::characterCount(first) > kMaxKeyPathItemCharacters) {
        TLLog("TLLOG: (ERROR) %s length overflow(%d).", first.c_str(),
              static_cast<int>(kMaxKeyPathItemCharacters));
        return std::nullopt;
    }

    const std::vector<std::string> illegal{first, "__cc", "illegal"};
    if (items.size() > kMaxKeyPathItems) {
        TLLog("TLLOG: (WARNING) %s overflow max length %d.", pathText.c_str(),
              static_cast<int>(kMaxKeyPathItems));
        items = illegal;
    } else {
        for (size_t i = 1; i < items.size(); ++i) {
            std::string& item = items[i];
            // Empty items are left out of the key and need no check.
            if (item.empty()) continue;
            if (!TallyText::passesCharacterCheck(item)) {
                TLLog("TLLOG: (WARNING) %s is illegal in %s.", item.c_str(), pathText.c_str());
                items = illegal;
                break;
            }
            if (TallyText::characterCount(item) > kMaxKeyPathItemCharacters) {
                TLLog("TLLOG: (WARNING) %s length overflow(%d), will be trimming.", item.c_str(),
                      static_cast<int>(kMaxKeyPathItemCharacters));
                item = TallyText::truncateCharacters(item, kMaxKeyPathItemCharacters);
            }
        }
        size_t joined = first.size();
        for (size_t i = 1; i < items.size(); ++i) {
            if (!items[i].empty()) joined += 1 + items[i].size();
        }
        if (joined > kMaxKeyPathBytes) {
            TLLog("TLLOG: (WARNING) %s total length overflow(%d)", pathText.c_str(),
                  static_cast<int>(kMaxKeyPathBytes));
            items = illegal;
        }
    }

    std::string cleanLabel;
    if (!label.empty()) {
        if (!TallyText::passesCharacterCheck(label)) {
            TLLog("TLLOG: (WARNING) %s is illegal label in %s.", label.c_str(), pathText.c_str());
            cleanLabel = "__illegal";
        } else {
            cleanLabel = TallyText::truncateBytes(label, kMaxKeyPathLabelBytes);
        }
    }
    Value::Array path(items.begin(), items.end());
    return Value::Dictionary{{"ccKeyPath", Value(std::move(path))},
                             {"ccValue", Value(value)},
                             {"ccLabel", Value(std::move(cleanLabel))}};
}
