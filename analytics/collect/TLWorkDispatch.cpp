#include "analytics/collect/TLWorkDispatch.h"

TLWorkDispatch::TLWorkDispatch(platform::RunLoop& mainLoop, std::weak_ptr<TallyInternal> collector)
    : mainLoop_(mainLoop), collector_(std::move(collector)) {}

void TLWorkDispatch::send(platform::Value object, int16_t type) {
    // Posting under the dispatcher's lock keeps items from racing callers in
    // the order their calls were made.
    std::lock_guard lock(mutex_);
    mainLoop_.post([collector = collector_, event = TLDispatchEvent{type, std::move(object)}] {
        if (auto c = collector.lock()) c->workEvent(event);
    });
}
