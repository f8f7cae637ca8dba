#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/Value.h"

// Validation and recording of events: the rules between a Tally call and
// the dispatcher. Messages go to the SDK's log.
class TallyEvent {
public:
    static constexpr size_t kMaxEventIdBytes = 128;
    static constexpr size_t kMaxAttributes = 10;
    static constexpr int64_t kMaxDurationMs = 7'200'000;  // exclusive
    static constexpr size_t kMaxKeyPathItems = 8;
    static constexpr size_t kMaxKeyPathItemCharacters = 16;
    static constexpr size_t kMaxKeyPathBytes = 256;
    static constexpr size_t kMaxKeyPathLabelBytes = 160;
    static constexpr const char* kCounterKey = "__ct__";

    // Not empty, at most 128 bytes, not only white space; logs otherwise.
    static bool isValidEventId(const std::string& eventId);

    static void event(const std::string& eventId, const std::string& label, int64_t accumulation,
                      int64_t milliseconds);
    static void event(const std::string& eventId, const platform::Value::Dictionary& attributes,
                      int64_t milliseconds);
    static void beginEvent(const std::string& eventId, const std::string& label);
    static void endEvent(const std::string& eventId, const std::string& label);
    static void beginEvent(const std::string& eventId, const std::string& primaryKey,
                           const platform::Value::Dictionary& attributes);
    static void endEventWithPrimaryKey(const std::string& eventId, const std::string& primaryKey);

    // At most ten attributes, besides the counter key.
    static platform::Value::Dictionary trimAttributes(
        const platform::Value::Dictionary& attributes);

    // The key-path counter's dispatch dictionary ("ccKeyPath", "ccValue",
    // "ccLabel"), or nullopt when the call is refused.
    static std::optional<platform::Value::Dictionary> keyPathPayload(
        const platform::Value::Array& keyPath, int64_t value, const std::string& label,
        bool inBackground);
};
