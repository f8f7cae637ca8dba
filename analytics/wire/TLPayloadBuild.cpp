#include "analytics/wire/TLPayloadBuild.h"

#include <algorithm>
#include <cmath>

#include "analytics/collect/TallyRuntime.h"
#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyLog.h"

using nlohmann::json;
using platform::Value;

namespace {

int64_t ms(double unixSeconds) {
    return static_cast<int64_t>(std::llround(unixSeconds * 1000));
}

// The stored Thrift bytes of `key` as Base64, when they are a valid `T`.
template <class T>
std::optional<std::string> storedThrift(TallyConfig& config, const char* key,
                                        bool (*valid)(const T&)) {
    const Value stored = config.configureWithKey(key);
    const auto* data = stored.asData();
    if (!data || data->empty()) return std::nullopt;
    try {
        const T value = TLTDeserialize<T>(*data);
        if (valid && !valid(value)) return std::nullopt;
    } catch (const TLTException& e) {
        TLLog("Exception occurred: %s, %s", e.name().c_str(), e.what());
        return std::nullopt;
    }
    return TLANUtil::base64(*data);
}

// Groups event objects by session, sessions in order of first appearance.
class SessionGroups {
public:
    void add(const std::string& session, json event) {
        auto it = std::find(order_.begin(), order_.end(), session);
        if (it == order_.end()) order_.push_back(session);
        events_[session].push_back(std::move(event));
    }
    json array() const {
        json out = json::array();
        for (const auto& s : order_) out.push_back({{s, events_.at(s)}});
        return out;
    }
    bool empty() const { return order_.empty(); }

private:
    std::vector<std::string> order_;
    std::map<std::string, json> events_;
};

}  // namespace

json TLPayloadBuild::toJson(const Value& v) {
    switch (v.type()) {
        case Value::Type::Bool:
            return *v.asBool();
        case Value::Type::Integer:
            return *v.asInteger();
        case Value::Type::Real:
            return *v.asReal();
        case Value::Type::String:
            return *v.asString();
        case Value::Type::Date:
            return ms(v.asDate()->unixSeconds());
        case Value::Type::Data:
            return TLANUtil::base64(*v.asData());
        case Value::Type::Array: {
            json out = json::array();
            for (const auto& item : *v.asArray()) out.push_back(toJson(item));
            return out;
        }
        case Value::Type::Dictionary: {
            json out = json::object();
            for (const auto& [k, item] : *v.asDictionary()) out[k] = toJson(item);
            return out;
        }
        default:
            return nullptr;
    }
}

json TLPayloadBuild::header(TallyRuntime& rt) {
    TallyApp& app = rt.app();
    TallyConfig& config = rt.config();
    if (config.stringWithKey("TLAppVersion") != app.appVersion()) {
        config.setConfigure(Value(app.appVersion()), "TLAppVersion");
    }
    json h = {
        {"app_version", app.appVersion()},
        {"appkey", app.appid()},
        {"package_name", TLANUtil::packageName()},
        {"sdk_type", "IOS"},
        {"sdk_version", TallyApp::kSDKVersion},
        {"channel", app.channel()},
        {"device_id", rt.sharedUDID().value()},
        {"device_model", TLANUtil::deviceModel()},
        {"os", TLANUtil::os()},
        {"os_version", TLANUtil::osVersion()},
        {"is_jailbroken", TLANUtil::isJailbrokenString()},
        {"resolution", TLANUtil::resolution()},
        {"mc", TLANUtil::macAddress()},
        {"access", TLANUtil::access()},
        {"access_subtype", TLANUtil::accessSubtype()},
        {"mccmnc", TLANUtil::mccmnc()},
        {"timezone", TLANUtil::timezone()},
        {"language", TLANUtil::language()},
        {"country", TLANUtil::country()},
        {"carrier", TLANUtil::carrier()},
        {"display_name", TLANUtil::displayName()},
    };
    if (auto secret = config.stringWithKey("asecret"); secret && !secret->empty()) {
        h["secret"] = TLANUtil::md5(*secret);
    }
    if (auto v = app.wrapperType(); !v.empty()) h["wrapper_type"] = v;
    if (auto v = app.wrapperVersion(); !v.empty()) h["wrapper_version"] = v;
    if (app.scenarioType != 0) h["vertical_type"] = static_cast<int>(app.scenarioType);
    for (const char* key : {"tlSuccessfulRequests", "tlFailedRequests", "tlLastRequestSpentMS"}) {
        const auto value = config.integerWithKey(key);
        if (!value) continue;
        const char* name = std::string_view(key) == "tlSuccessfulRequests" ? "successful_requests"
                           : std::string_view(key) == "tlFailedRequests"   ? "failed_requests"
                                                                           : "req_time";
        h[name] = *value;
    }
    if (auto t = storedThrift<TLTIdTracking>(config, "tlIDTracking", nullptr))
        h["id_tracking"] = *t;
    if (auto i = storedThrift<TLTImprint>(config, "tlImprint", [](const TLTImprint& imprint) {
            return imprint.checksumValid();
        })) {
        h["imprint"] = *i;
    }
    return h;
}

json TLPayloadBuild::body(TallyRuntime& rt, const json& cc, int64_t activateMs) {
    TallyInternal& in = rt.internal();
    TallyConfig& config = rt.config();
    json b = json::object();
    const auto puid = config.stringWithKey("TLProfilePUID");
    if (puid && !puid->empty()) {
        b["active_user"] = {{"provider", config.stringWithKey("TLProfileProvider").value_or("")},
                            {"puid", *puid}};
    }
    if (activateMs > 0) b["activate_msg"] = {{"ts", activateMs}};
    // Kept as the service sent it: an object, or its JSON text.
    const Value info = config.configureWithKey("tlExperimentGroupInfo");
    json group = info.isString() ? json::parse(*info.asString(), nullptr, false) : toJson(info);
    if (group.is_object()) {
        group.erase("DOM");
        b["group_info"] = std::move(group);
    }
    if (rt.app().isGameScenario()) {
        if (auto level = config.configureWithKey("userlevel"); !level.isNull()) {
            b["userlevel"] = toJson(level);
        }
    }
    if (!in.terminates.empty()) {
        json sessions = json::array();
        for (const auto& t : in.terminates) {
            json s = {{"id", t->session_id},
                      {"start_time", ms(t->ts - static_cast<double>(t->duration))},
                      {"end_time", ms(t->ts)},
                      {"duration", t->duration * 1000}};
            if (!t->pageViews.empty()) {
                json pages = json::array();
                for (const auto& item : t->pageViews) {
                    const auto* pair = item.asArray();
                    if (!pair || pair->size() != 2) continue;
                    pages.push_back(
                        {{"page_name", toJson((*pair)[0])}, {"duration", toJson((*pair)[1])}});
                }
                s["pages"] = std::move(pages);
            }
            if (t->hasLocation()) {
                s["locations"] = json::array(
                    {{{"lat", t->latitude}, {"lng", t->longitude}, {"ts", t->gps_time}}});
            }
            sessions.push_back(std::move(s));
        }
        b["sessions"] = std::move(sessions);
    }
    // Plain and attribute events together, in the order they were recorded.
    struct Item {
        double ts;
        size_t order;
        const TLANBaseEvent* record;
        json object;
    };
    std::vector<Item> ekvItems;
    SessionGroups gkv;
    size_t order = 0;
    for (const auto& e : in.events) {
        ekvItems.push_back({e->ts, order++, e.get(), toJson(Value(e->attributes()))});
    }
    for (const auto& e : in.ekv) {
        json object = toJson(Value(e->attributes()));
        if (e->type == "gkv") {
            if (rt.app().isGameScenario()) gkv.add(e->session_id, std::move(object));
            continue;
        }
        ekvItems.push_back({e->ts, order++, e.get(), std::move(object)});
    }
    std::stable_sort(ekvItems.begin(), ekvItems.end(),
                     [](const Item& a, const Item& c) { return a.ts < c.ts; });
    SessionGroups ekv;
    for (auto& item : ekvItems) ekv.add(item.record->session_id, std::move(item.object));
    if (!ekv.empty()) b["ekv"] = ekv.array();
    if (!gkv.empty()) b["gkv"] = gkv.array();
    if (!in.errors.empty()) {
        json errors = json::array();
        for (const auto& e : in.errors)
            errors.push_back({{"ts", ms(e->ts)}, {"context", e->context}});
        b["error"] = std::move(errors);
    }
    if (!cc.is_null()) b["cc"] = cc;
    return b;
}

std::vector<uint8_t> TLPayloadBuild::payloadData(TallyRuntime& rt, const json& cc,
                                                 int64_t activateMs) {
    json doc = {{"header", header(rt)}, {"body", body(rt, cc, activateMs)}};
    const json& h = doc["header"];
    const json& b = doc["body"];
    auto part = [&](const char* key) {
        return b.contains(key) ? b[key].dump() : std::string("null");
    };
    std::string line = TLFormat(
        "logEntry=sdk_version:%s, device_id:%s, model:%s, os_version:%s, active_user:%s, "
        "active_msg:%s, cc:%s, sessions:%s, ekv:%s",
        h["sdk_version"].get<std::string>().c_str(), h["device_id"].get<std::string>().c_str(),
        h["device_model"].get<std::string>().c_str(), h["os_version"].get<std::string>().c_str(),
        part("active_user").c_str(), part("activate_msg").c_str(), part("cc").c_str(),
        part("sessions").c_str(), part("ekv").c_str());
    if (rt.app().isGameScenario()) line += ",gkv:" + part("gkv");
    TLLog("%s", line.c_str());
    const std::string text = doc.dump(-1, ' ', false, json::error_handler_t::replace);
    return {text.begin(), text.end()};
}

std::optional<TLTResponse> TLPayloadBuild::responseFromData(const std::vector<uint8_t>& data) {
    try {
        return TLTDeserialize<TLTResponse>(data);
    } catch (const TLTException& e) {
        TLLog("Exception occurred: %s, %s", e.name().c_str(), e.what());
        return std::nullopt;
    }
}
