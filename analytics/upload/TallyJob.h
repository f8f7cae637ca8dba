#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "analytics/wire/TLTStructures.h"

class TallyRuntime;

// The send policy and the back-off level ("defcon") the service asks for.
class TallyJob {
public:
    static constexpr int kPolicyRealTime = 0;
    static constexpr int kPolicyBatch = 1;
    static constexpr int kPolicyInterval = 6;
    static constexpr int kPolicySmart = 8;

    explicit TallyJob(TallyRuntime& runtime);

    std::atomic<bool> jobRunning{false};
    std::atomic<int> defcon{0};

    // Whether the device can reach the service; tests on loopback replace it.
    std::function<bool()> networkAvailable;

    // Reason 0: a session began or ended; 1: a record was added.
    bool shouldStartJob(int reason);

    int reportPolicy() const;
    int64_t sendInterval() const;
    bool integratedTestMode() const;
    // Seconds since the last post by the runtime's clock; -1 when never.
    double secondsSinceLastPost() const;

    // The stored imprint, when there is one.
    std::optional<TLTImprint> storedImprint() const;
    std::optional<std::string> imprintValue(const std::string& key) const;
    // Stores the imprint and takes the defcon and experiment values from it.
    void applyImprint(const TLTImprint& imprint);

private:
    TallyRuntime& runtime_;
};
