#include "audio/PulseConnection.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>
#include <sched.h>

namespace platform {

namespace {

// Long enough for a busy server, short enough that a hung one does not
// hold up the start.
constexpr pa_usec_t kConnectTimeout = 5 * PA_USEC_PER_SEC;

// Below the sound server's own threads (PulseAudio and PipeWire use 5 and
// above at most 20 by default), above everything that is not audio.
constexpr int kRealtimePriority = 4;

struct ConnectState {
    pa_threaded_mainloop* loop = nullptr;
    bool timedOut = false;
};

}  // namespace

struct PulseConnection::Watch {
    std::function<void(bool)> changed;
};

bool isQuellioDeviceName(const std::string& name) {
    return name.rfind("quellio_", 0) == 0;
}

std::unique_ptr<PulseConnection> PulseConnection::connect(const std::string& clientName,
                                                          AudioError* error) {
    std::unique_ptr<PulseConnection> c(new PulseConnection);
    c->mainloop_ = pa_threaded_mainloop_new();
    if (!c->mainloop_) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "PulseAudio: no main loop");
        return nullptr;
    }
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, clientName.c_str());
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "com.zentrik.quellio");
    c->context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(c->mainloop_),
                                               clientName.c_str(), props);
    pa_proplist_free(props);
    if (!c->context_) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "PulseAudio: no context");
        return nullptr;
    }
    ConnectState state{c->mainloop_};
    pa_context_set_state_callback(
        c->context_,
        [](pa_context*, void* userdata) {
            pa_threaded_mainloop_signal(static_cast<ConnectState*>(userdata)->loop, 0);
        },
        &state);
    if (pa_context_connect(c->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      std::string("no PulseAudio or PipeWire sound server: ") +
                          pa_strerror(pa_context_errno(c->context_)));
        return nullptr;
    }
    // Audio is written on the loop's thread: ask for realtime scheduling
    // where the system grants it (it is only a wish elsewhere).
    pa_mainloop_api_once(
        pa_threaded_mainloop_get_api(c->mainloop_),
        [](pa_mainloop_api*, void*) {
            sched_param param{};
            param.sched_priority = kRealtimePriority;
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        },
        nullptr);
    if (pa_threaded_mainloop_start(c->mainloop_) < 0) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "PulseAudio: no loop thread");
        return nullptr;
    }
    pa_threaded_mainloop_lock(c->mainloop_);
    pa_time_event* timer = pa_context_rttime_new(
        c->context_, pa_rtclock_now() + kConnectTimeout,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
            auto* s = static_cast<ConnectState*>(userdata);
            s->timedOut = true;
            pa_threaded_mainloop_signal(s->loop, 0);
        },
        &state);
    pa_context_state_t st;
    while ((st = pa_context_get_state(c->context_)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(st) &&
           !state.timedOut) {
        pa_threaded_mainloop_wait(c->mainloop_);
    }
    if (timer) pa_threaded_mainloop_get_api(c->mainloop_)->time_free(timer);
    // From now on state changes only wake waiters and tell a watcher.
    pa_context_set_state_callback(
        c->context_,
        [](pa_context* ctx, void* userdata) {
            auto* self = static_cast<PulseConnection*>(userdata);
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(ctx)) && self->watch_ &&
                self->watch_->changed) {
                self->watch_->changed(false);
            }
            self->signal();
        },
        c.get());
    pa_threaded_mainloop_unlock(c->mainloop_);
    if (st != PA_CONTEXT_READY) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      state.timedOut ? std::string("the sound server does not answer")
                                     : std::string("no PulseAudio or PipeWire sound server: ") +
                                           pa_strerror(pa_context_errno(c->context_)));
        return nullptr;
    }
    return c;
}

PulseConnection::~PulseConnection() {
    if (mainloop_) pa_threaded_mainloop_stop(mainloop_);
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (mainloop_) pa_threaded_mainloop_free(mainloop_);
}

bool PulseConnection::isConnected() const {
    Lock lock(*this);
    return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

PulseConnection::Lock::Lock(const PulseConnection& c) : loop_(c.mainloop_) {
    pa_threaded_mainloop_lock(loop_);
}

PulseConnection::Lock::~Lock() {
    pa_threaded_mainloop_unlock(loop_);
}

bool PulseConnection::await(pa_operation* operation) {
    if (!operation) return false;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING &&
           pa_context_get_state(context_) == PA_CONTEXT_READY) {
        pa_threaded_mainloop_wait(mainloop_);
    }
    const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!done) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return done;
}

void PulseConnection::signal() const {
    pa_threaded_mainloop_signal(mainloop_, 0);
}

namespace {

struct ListState {
    PulseConnection* connection;
    SoundServerDevices devices;
};

}  // namespace

std::optional<SoundServerDevices> PulseConnection::devices(AudioError* error) {
    ListState state{this, {}};
    Lock lock(*this);
    const bool ok =
        await(pa_context_get_sink_info_list(
            context_,
            [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
                auto* s = static_cast<ListState*>(userdata);
                if (eol) return s->connection->signal();
                s->devices.outputs.push_back({info->name,
                                              info->description ? info->description : info->name,
                                              false, isQuellioDeviceName(info->name)});
            },
            &state)) &&
        await(pa_context_get_source_info_list(
            context_,
            [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
                auto* s = static_cast<ListState*>(userdata);
                if (eol) return s->connection->signal();
                s->devices.inputs.push_back(
                    {info->name, info->description ? info->description : info->name,
                     info->monitor_of_sink != PA_INVALID_INDEX, isQuellioDeviceName(info->name)});
            },
            &state)) &&
        await(pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* userdata) {
                auto* s = static_cast<ListState*>(userdata);
                if (info) {
                    s->devices.defaultOutput =
                        info->default_sink_name ? info->default_sink_name : "";
                    s->devices.defaultInput =
                        info->default_source_name ? info->default_source_name : "";
                }
                s->connection->signal();
            },
            &state));
    if (!ok) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      "the sound server went away while listing devices");
        return std::nullopt;
    }
    return std::move(state.devices);
}

void PulseConnection::watchDevices(std::function<void(bool connected)> changed) {
    Lock lock(*this);
    watch_ = std::make_unique<Watch>(Watch{std::move(changed)});
    pa_context_set_subscribe_callback(
        context_,
        [](pa_context*, pa_subscription_event_type_t type, uint32_t, void* userdata) {
            auto* self = static_cast<PulseConnection*>(userdata);
            const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
            const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
            // Volume and state changes arrive as CHANGE; only comings and
            // goings (and a new default) alter the lists.
            if (facility == PA_SUBSCRIPTION_EVENT_SERVER || kind != PA_SUBSCRIPTION_EVENT_CHANGE) {
                if (self->watch_ && self->watch_->changed) self->watch_->changed(true);
            }
        },
        this);
    pa_operation* op = pa_context_subscribe(
        context_,
        static_cast<pa_subscription_mask_t>(
            PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER),
        nullptr, nullptr);
    if (op) pa_operation_unref(op);
}

}  // namespace platform
