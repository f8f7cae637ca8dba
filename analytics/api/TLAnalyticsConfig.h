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
    // Base URLs of the service ("http://host:port" or "https://host"): the
    // environment's QUELLIO_ANALYTICS_URL and, when a second host takes the
    // uploads the first fails, QUELLIO_ANALYTICS_URL_ALT. Without either
    // nothing leaves the machine: envelopes stay on disk.
    std::string primaryURL = urlFromEnvironment("QUELLIO_ANALYTICS_URL");
    std::string alternateURL = urlFromEnvironment("QUELLIO_ANALYTICS_URL_ALT");

    // One per process, created on first use.
    static TLAnalyticsConfig& sharedInstance() {
        static TLAnalyticsConfig config;
        return config;
    }

    static std::string urlFromEnvironment(const char* name) {
        const char* url = std::getenv(name);
        return url ? std::string(url) : std::string();
    }
};
