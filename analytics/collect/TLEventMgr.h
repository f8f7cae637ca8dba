#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analytics/collect/TLAggregatedValue.h"
#include "analytics/collect/TLCachedDB.h"

class TallyRuntime;

// Key-path counters aggregated into 360-second UTC windows, kept in memory
// for the running window, saved to the database every minute and moved to
// the finished windows' table at each boundary; plus the meta items that
// tell the service about data the SDK dropped. Main thread only.
class TLEventMgr {
public:
    static constexpr size_t kMaxKeys = 512;
    static constexpr int64_t kWindowSeconds = 360;
    static constexpr int64_t kCacheSeconds = 60;

    explicit TLEventMgr(TallyRuntime& runtime);
    ~TLEventMgr();
    TLEventMgr(const TLEventMgr&) = delete;
    TLEventMgr& operator=(const TLEventMgr&) = delete;

    static int64_t windowNumber(int64_t timeMs);
    static std::string keyForPath(const std::vector<std::string>& path);

    void aggregate(const std::vector<std::string>& path, int64_t value, int64_t timeMs,
                   const std::string& label);
    const std::map<std::string, TLAggregatedValue>& cells() const { return cells_; }

    // Starts the cache and window timers (once) and reloads the saved cells.
    void start();
    // Saves the running window's cells into "agCachedTable".
    void saveCache();
    // Moves the running window into "agTable".
    void closeWindow();

    void recordMeta(const std::string& ck, int64_t value, const std::string& label);
    // The "cc" object of a payload: finished windows and meta items; null
    // when there is nothing.
    nlohmann::json cc();
    // After an envelope was built (or its data dropped): the rows it took.
    void clearSent();

    TLCachedDB& db();

private:
    void reloadCache();
    void scheduleCacheTimer();
    void scheduleWindowTimer(int64_t seconds);

    TallyRuntime& runtime_;
    std::unique_ptr<TLCachedDB> db_;
    std::map<std::string, TLAggregatedValue> cells_;
    bool started_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
