#include "analytics/collect/TallyRuntime.h"

#include <atomic>

#include "foundation/Paths.h"

namespace {

std::atomic<TallyRuntime*> gScoped{nullptr};
std::atomic<TallyRuntime*> gProcess{nullptr};

}  // namespace

TallyEnvironment TallyEnvironment::process() {
    TallyEnvironment env;
    env.clock = &platform::Clock::system();
    env.defaults = &platform::UserDefaults::standard();
    env.runLoop = &platform::RunLoop::main();
    env.notificationCenter = &platform::NotificationCenter::defaultCenter();
    env.libraryDirectory = platform::Paths::libraryDirectory();
    env.sharedUDIDDirectory = TLANSharedUDID::defaultSlotDirectory();
    return env;
}

TallyRuntime::TallyRuntime(const TallyEnvironment& environment)
    : env_(environment),
      config_(*env_.defaults),
      location_(*env_.clock),
      sharedUDID_(*env_.defaults, *env_.clock, env_.sharedUDIDDirectory),
      internal_(std::make_shared<TallyInternal>(*this)),
      session_(*this),
      dispatch_(*env_.runLoop, internal_),
      pipeline_(std::make_shared<TallyPipeline>()) {}

TallyRuntime::~TallyRuntime() = default;

TallyRuntime& TallyRuntime::current() {
    if (TallyRuntime* scoped = gScoped.load(std::memory_order_acquire)) return *scoped;
    // Never released: callers on other threads may still reach it while the
    // process exits.
    static TallyRuntime* process = [] {
        auto* runtime = new TallyRuntime(TallyEnvironment::process());
        gProcess.store(runtime, std::memory_order_release);
        return runtime;
    }();
    return *process;
}

bool TallyRuntime::isProcessInstance() const {
    return this == gProcess.load(std::memory_order_acquire);
}

TallyRuntime::Scope::Scope(TallyRuntime& runtime) : previous_(gScoped.exchange(&runtime)) {}

TallyRuntime::Scope::~Scope() {
    gScoped.store(previous_);
}

void TallyRuntime::setPipeline(std::shared_ptr<TallyPipeline> pipeline) {
    std::lock_guard lock(pipelineMutex_);
    pipeline_ = pipeline ? std::move(pipeline) : std::make_shared<TallyPipeline>();
}

std::shared_ptr<TallyPipeline> TallyRuntime::pipeline() const {
    std::lock_guard lock(pipelineMutex_);
    return pipeline_;
}

void TallyRuntime::onMain(std::function<void()> task) {
    env_.runLoop->post([alive = std::weak_ptr<TallyInternal>(internal_), task = std::move(task)] {
        if (alive.lock()) task();
    });
}
