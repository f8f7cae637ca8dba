#include "analytics/collect/TLEventMgr.h"

#include <chrono>
#include <sstream>

#include "analytics/collect/TallyRuntime.h"
#include "analytics/collect/TallyUtility.h"
#include "analytics/support/TallyLog.h"

using platform::Value;

namespace {

constexpr int64_t kDayMs = 86'400'000;
constexpr int64_t kWindowsPerDay = 240;

std::string joinLabels(const std::vector<std::string>& labels) {
    std::string out;
    for (const auto& l : labels) out += (out.empty() ? "" : "!") + l;
    return out;
}

std::vector<std::string> splitLabels(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, '!');) {
        if (!item.empty()) out.push_back(item);
    }
    return out;
}

TLCachedDB::AgRow rowFor(const std::string& key, const TLAggregatedValue& cell) {
    return {key, cell.valueSum, cell.tsSum, cell.twNum, cell.count, joinLabels(cell.labels)};
}

}  // namespace

TLEventMgr::TLEventMgr(TallyRuntime& runtime) : runtime_(runtime) {}

TLEventMgr::~TLEventMgr() = default;

TLCachedDB& TLEventMgr::db() {
    if (!db_) db_ = std::make_unique<TLCachedDB>(TallyUtility::databasePath(runtime_));
    return *db_;
}

int64_t TLEventMgr::windowNumber(int64_t t) {
    return (t / kDayMs) * kWindowsPerDay + ((t / 1000) % 86'400) / kWindowSeconds;
}

std::string TLEventMgr::keyForPath(const std::vector<std::string>& path) {
    if (path.empty()) return {};
    std::string key = path.front();
    for (size_t i = 1; i < path.size(); ++i) {
        if (!path[i].empty()) key += "!" + path[i];
    }
    return key;
}

void TLEventMgr::aggregate(const std::vector<std::string>& path, int64_t value, int64_t timeMs,
                           const std::string& label) {
    if (path.empty()) return;
    auto add = [&](TLAggregatedValue& cell) {
        cell.valueSum += value;
        cell.tsSum += timeMs;
        ++cell.count;
        cell.twNum = static_cast<int32_t>(windowNumber(timeMs));
        cell.addLabel(label);
    };
    std::vector<std::string> items = path;
    const std::string fullKey = keyForPath(items);
    if (auto it = cells_.find(fullKey); it != cells_.end()) {
        add(it->second);
        return;
    }
    if (cells_.size() < kMaxKeys) {
        add(cells_[fullKey]);
        return;
    }
    TLLog("%s ag event max quota.", fullKey.c_str());
    // At the quota a counter still lands on a shorter path that is known.
    while (items.size() >= 2) {
        items.pop_back();
        if (auto it = cells_.find(keyForPath(items)); it != cells_.end()) {
            add(it->second);
            return;
        }
    }
    TLLog("WARNING %s ag event overflow.", fullKey.c_str());
    TallyConfig& config = runtime_.config();
    config.incrementCounterWithKey("agOverflowCount");
    if (config.configureWithKey("agOverflowFirstTS").isNull()) {
        config.setConfigure(Value(timeMs), "agOverflowFirstTS");
    }
}

void TLEventMgr::start() {
    reloadCache();
    if (started_) return;
    started_ = true;
    scheduleCacheTimer();
    const auto nowSeconds = static_cast<int64_t>(runtime_.now());
    scheduleWindowTimer(kWindowSeconds - (nowSeconds % 86'400) % kWindowSeconds);
}

void TLEventMgr::scheduleCacheTimer() {
    runtime_.runLoop().postAfter(std::chrono::seconds(kCacheSeconds),
                                 [this, alive = std::weak_ptr<int>(alive_)] {
                                     if (!alive.lock()) return;
                                     saveCache();
                                     scheduleCacheTimer();
                                 });
}

void TLEventMgr::scheduleWindowTimer(int64_t seconds) {
    runtime_.runLoop().postAfter(std::chrono::seconds(seconds),
                                 [this, alive = std::weak_ptr<int>(alive_)] {
                                     if (!alive.lock()) return;
                                     closeWindow();
                                     scheduleWindowTimer(kWindowSeconds);
                                 });
}

void TLEventMgr::saveCache() {
    TLCachedDB& database = db();
    database.clearTable(TLCachedDB::kAgCachedTable);
    int64_t latest = 0;
    for (const auto& [key, cell] : cells_) {
        database.insertAg(TLCachedDB::kAgCachedTable, rowFor(key, cell));
        latest = std::max<int64_t>(latest, cell.count ? cell.tsSum / cell.count : 0);
    }
    if (cells_.empty()) return;
    runtime_.config().setConfigure(Value(latest), "agCachedLatestTS");
    runtime_.config().setConfigure(Value(windowNumber(static_cast<int64_t>(runtime_.now() * 1000))),
                                   "agCachedTW");
}

void TLEventMgr::closeWindow() {
    TLCachedDB& database = db();
    for (const auto& [key, cell] : cells_)
        database.insertAg(TLCachedDB::kAgTable, rowFor(key, cell));
    cells_.clear();
    database.clearTable(TLCachedDB::kAgCachedTable);
    runtime_.config().removeConfigureWithKey("agCachedLatestTS");
    runtime_.config().removeConfigureWithKey("agCachedTW");
}

void TLEventMgr::reloadCache() {
    // Cells in memory are newer than their saved copy.
    if (!cells_.empty()) return;
    TLCachedDB& database = db();
    const int64_t current = windowNumber(static_cast<int64_t>(runtime_.now() * 1000));
    for (const auto& row : database.selectAg(TLCachedDB::kAgCachedTable, false)) {
        if (row.twNum != current) {
            database.insertAg(TLCachedDB::kAgTable, row);
            continue;
        }
        TLAggregatedValue& cell = cells_[row.ck];
        cell.valueSum += row.valueSum;
        cell.tsSum += row.tsSum;
        cell.count += static_cast<int32_t>(row.count);
        cell.twNum = static_cast<int32_t>(row.twNum);
        for (const auto& l : splitLabels(row.labels)) cell.addLabel(l);
    }
    database.clearTable(TLCachedDB::kAgCachedTable);
}

void TLEventMgr::recordMeta(const std::string& ck, int64_t value, const std::string& label) {
    db().insertMeta({ck, value, static_cast<int64_t>(runtime_.now() * 1000), label});
}

nlohmann::json TLEventMgr::cc() {
    TallyConfig& config = runtime_.config();
    if (const auto overflow = config.integerWithKey("agOverflowCount"); overflow && *overflow > 0) {
        db().insertMeta(
            {"__ag_of", *overflow, config.integerWithKey("agOverflowFirstTS").value_or(0), ""});
        config.removeConfigureWithKey("agOverflowCount");
        config.removeConfigureWithKey("agOverflowFirstTS");
    }
    nlohmann::json ag = nlohmann::json::object();
    for (const auto& row : db().selectAg(TLCachedDB::kAgTable, true)) {
        nlohmann::json cell = {{"v_sum", row.valueSum},
                               {"ts_sum", row.tsSum},
                               {"tw_num", row.twNum},
                               {"count", row.count}};
        if (auto labels = splitLabels(row.labels); !labels.empty()) cell["labels"] = labels;
        ag[row.ck].push_back(std::move(cell));
    }
    nlohmann::json meta = nlohmann::json::object();
    for (const auto& row : db().selectMeta()) {
        nlohmann::json item = {{"value", row.value}, {"ts", row.ts}};
        if (!row.label.empty()) item["label"] = row.label;
        meta[row.ck].push_back(std::move(item));
    }
    if (ag.empty() && meta.empty()) return nullptr;
    return {{"ag", std::move(ag)}, {"ve_meta", std::move(meta)}};
}

void TLEventMgr::clearSent() {
    db().clearTable(TLCachedDB::kAgTable);
    db().clearTable(TLCachedDB::kVeMetaTable);
}
