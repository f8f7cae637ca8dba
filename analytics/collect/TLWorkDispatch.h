#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "analytics/collect/TallyInternal.h"
#include "foundation/DispatchQueue.h"
#include "foundation/RunLoop.h"
#include "foundation/Value.h"

// Hands items from any thread to the collector on the main thread, in the
// order they were sent, without waiting.
class TLWorkDispatch {
public:
    TLWorkDispatch(platform::RunLoop& mainLoop, std::weak_ptr<TallyInternal> collector);

    void send(platform::Value object, int16_t type);

private:
    std::mutex mutex_;
    platform::RunLoop& mainLoop_;
    std::weak_ptr<TallyInternal> collector_;
    // Kept for the SDK's own background work; items never run on it.
    platform::DispatchQueue serialQueue_{"serial.tally.sdk.queue", 1};
};
