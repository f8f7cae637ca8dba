#include "analytics/collect/TallyLocation.h"

#include <utility>

#include "analytics/support/TallyLog.h"

void TallyLocation::setLatitude(double latitude, double longitude) {
    if (latitude == 0 || longitude == 0) {
        TLLog("Latitude or longitude may be wrong.");
        return;
    }
    std::lock_guard lock(mutex_);
    fix_ = Fix{latitude, longitude, static_cast<int64_t>(clock_.date().unixSeconds())};
}

TallyLocation::Fix TallyLocation::fix() const {
    std::lock_guard lock(mutex_);
    return fix_;
}

TallyLocation::Fix TallyLocation::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(fix_, Fix{});
}
