#pragma once

#include <cstdint>
#include <mutex>

#include "foundation/Clock.h"

// A position as a location service reports it.
struct TLLocation {
    double latitude = 0;
    double longitude = 0;
};

// The location the host may set; the next session record carries it. Set
// from any thread, read by the collector.
class TallyLocation {
public:
    struct Fix {
        double latitude = 0;
        double longitude = 0;
        int64_t gps_time = 0;  // seconds since 1970
    };

    explicit TallyLocation(platform::Clock& clock) : clock_(clock) {}

    // Stores the pair and the time only when both values are non-zero.
    void setLatitude(double latitude, double longitude);
    void setLocation(const TLLocation& location) {
        setLatitude(location.latitude, location.longitude);
    }

    Fix fix() const;
    // Hands the fix to a session record and forgets it.
    Fix take();

private:
    platform::Clock& clock_;
    mutable std::mutex mutex_;
    Fix fix_;
};
