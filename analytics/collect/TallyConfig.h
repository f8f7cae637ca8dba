#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/UserDefaults.h"
#include "foundation/Value.h"

// The SDK's persistent settings, kept in the user-defaults store.
class TallyConfig {
public:
    explicit TallyConfig(platform::UserDefaults& defaults) : defaults_(defaults) {}

    platform::Value configureWithKey(const std::string& key) const;  // null when absent
    std::optional<int64_t> integerWithKey(const std::string& key) const;
    std::optional<std::string> stringWithKey(const std::string& key) const;
    void setConfigure(const platform::Value& value, const std::string& key);
    void removeConfigureWithKey(const std::string& key);
    // Read-modify-write under one lock, so counters do not lose steps.
    int64_t incrementCounterWithKey(const std::string& key) { return accumulateCount(1, key); }
    int64_t accumulateCount(int64_t count, const std::string& key);
    // One more successful or failed request, and how long the last one took.
    void incrementRequest(bool successful, int64_t usedTimeMs);

    platform::UserDefaults& defaults() const { return defaults_; }

private:
    platform::UserDefaults& defaults_;
    mutable std::mutex mutex_;
};
