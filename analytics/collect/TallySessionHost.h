#pragma once

#include <functional>
#include <memory>

class TallyApp;
class TallyConfig;
class TallyInternal;
class TallyPipeline;
class TLWorkDispatch;

namespace platform {
class NotificationCenter;
class RunLoop;
}  // namespace platform

// What the session tracker uses of the SDK instance it belongs to: the
// instance implements it, so the tracker does not depend on the instance
// that holds it.
class TallySessionHost {
public:
    virtual double now() const = 0;  // seconds since 1970
    virtual TallyApp& app() = 0;
    virtual TallyConfig& config() = 0;
    virtual std::shared_ptr<TallyPipeline> pipeline() const = 0;
    virtual platform::RunLoop& runLoop() const = 0;
    virtual platform::NotificationCenter& notificationCenter() const = 0;
    // Runs `task` on the main thread unless the instance is gone by then.
    virtual void onMain(std::function<void()> task) = 0;
    virtual TLWorkDispatch& dispatch() = 0;
    virtual TallyInternal& internal() = 0;

protected:
    ~TallySessionHost() = default;
};
