#pragma once

#include <cstdint>
#include <cstdlib>
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
    // Base URLs of the service ("http://host:port" or "https://host"), both
    // the environment's QUELLIO_ANALYTICS_URL. Without it they are empty and
    // nothing leaves the machine: envelopes stay on disk.
    std::string primaryURL = urlFromEnvironment();
    std::string alternateURL = urlFromEnvironment();

    // One per process, created on first use.
    static TLAnalyticsConfig& sharedInstance() {
        static TLAnalyticsConfig config;
        return config;
    }

    static std::string urlFromEnvironment() {
        const char* url = std::getenv("QUELLIO_ANALYTICS_URL");
        return url ? std::string(url) : std::string();
    }
};
