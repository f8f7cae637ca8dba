#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "foundation/DispatchQueue.h"
#include "foundation/RunLoop.h"
#include "foundation/Value.h"

class TallyInternal;

// What a dispatched item is; the numbers are the collector's table.
enum TLDispatchType : int16_t {
    kTLDispatchSessionBegin = 0,
    kTLDispatchSessionEnd = 1,
    kTLDispatchEvent = 2,
    kTLDispatchError = 3,
    kTLDispatchEkv = 4,
    kTLDispatchKeyPath = 5,
    kTLDispatchEventBegin = 6,
    kTLDispatchEventEnd = 7,
    kTLDispatchEkvBegin = 8,
    kTLDispatchEkvEnd = 9,
    kTLDispatchPageDuration = 10,
    kTLDispatchPageBegin = 11,
    kTLDispatchPageEnd = 12,
    kTLDispatchProfileSignIn = 13,
    kTLDispatchProfileSignOff = 14,
};

struct TLDispatchEvent {
    int16_t eEventType = 0;
    platform::Value object;
};

// Hands items from any thread to the collector on the main thread, in the
// order they were sent, without waiting.
class TLWorkDispatch {
public:
    TLWorkDispatch(platform::RunLoop& mainLoop, std::weak_ptr<TallyInternal> collector);

    static TLWorkDispatch& sharedInstance();
    // Through the current SDK instance.
    static void sendEvent(platform::Value object, int16_t type);

    void send(platform::Value object, int16_t type);

private:
    std::mutex mutex_;
    platform::RunLoop& mainLoop_;
    std::weak_ptr<TallyInternal> collector_;
    // Kept for the SDK's own background work; items never run on it.
    platform::DispatchQueue serialQueue_{"serial.tally.sdk.queue", 1};
};
