#pragma once

#include <cstdint>
#include <string>

// How the host starts the SDK. Filled in on the main thread before
// Tally::startWithConfigure.
class TLAnalyticsConfig {
public:
    std::string appKey;
    std::string secret;
    std::string channelId = "App Store";
    bool bCrashReportEnabled = true;
    int ePolicy = 1;      // report policy
    uint32_t eSType = 0;  // scenario type; 1 = game

    // One per process, created on first use.
    static TLAnalyticsConfig& sharedInstance() {
        static TLAnalyticsConfig config;
        return config;
    }
};
