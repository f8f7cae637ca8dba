#include "analytics/collect/TallyConfig.h"

using platform::Value;

Value TallyConfig::configureWithKey(const std::string& key) const {
    return defaults_.objectForKey(key);
}

std::optional<int64_t> TallyConfig::integerWithKey(const std::string& key) const {
    return defaults_.integerForKey(key);
}

std::optional<std::string> TallyConfig::stringWithKey(const std::string& key) const {
    return defaults_.stringForKey(key);
}

void TallyConfig::setConfigure(const Value& value, const std::string& key) {
    defaults_.setObject(value, key);
}

void TallyConfig::removeConfigureWithKey(const std::string& key) {
    defaults_.removeObjectForKey(key);
}

int64_t TallyConfig::accumulateCount(int64_t count, const std::string& key) {
    std::lock_guard lock(mutex_);
    const int64_t next = defaults_.integerForKey(key).value_or(0) + count;
    defaults_.setObject(Value(next), key);
    return next;
}

void TallyConfig::incrementRequest(bool successful, int64_t usedTimeMs) {
    incrementCounterWithKey(successful ? "tlSuccessfulRequests" : "tlFailedRequests");
    setConfigure(Value(usedTimeMs), "tlLastRequestSpentMS");
}
