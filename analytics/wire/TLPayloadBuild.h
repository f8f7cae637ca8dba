#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "analytics/wire/TLTStructures.h"
#include "foundation/Value.h"

class TallyRuntime;

// The payload document of an envelope, and the service's answer.
class TLPayloadBuild {
public:
    // The JSON document (header and body) of the collector's pending
    // collections; `cc` is the aggregation object (null for none).
    // `activateMs` is the activation time sent when the activation message
    // has not gone out yet (0: it has).
    static std::vector<uint8_t> payloadData(TallyRuntime& runtime, const nlohmann::json& cc,
                                            int64_t activateMs);
    static nlohmann::json header(TallyRuntime& runtime);
    static nlohmann::json body(TallyRuntime& runtime, const nlohmann::json& cc, int64_t activateMs);

    // The answer to a post; nothing (after a log line) when it is not a
    // valid Response.
    static std::optional<TLTResponse> responseFromData(const std::vector<uint8_t>& data);

    static nlohmann::json toJson(const platform::Value& value);
};
