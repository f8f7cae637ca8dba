#include "audio/VirtualDevices.h"

#include <pulse/pulseaudio.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "audio/PulseConnection.h"
#include "foundation/DebugLog.h"

namespace platform {

namespace {

// The property that marks our modules, followed by the owner's process id.
constexpr const char* kOwnerKey = "quellio.owner=";

std::string ownerProperty() {
    return std::string(kOwnerKey) + std::to_string(::getpid());
}

// The owning process named in a module's arguments, or 0 when not ours.
pid_t ownerOf(const char* arguments) {
    if (!arguments) return 0;
    const char* at = std::strstr(arguments, kOwnerKey);
    if (!at) return 0;
    at += std::strlen(kOwnerKey);
    while (*at == '"' || *at == '\\') ++at;
    return static_cast<pid_t>(std::strtol(at, nullptr, 10));
}

// A process that has ended but not been reaped yet counts as ended.
bool alive(pid_t pid) {
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM)) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

struct Module {
    uint32_t index;
    pid_t owner;
};

std::vector<Module> ourModules(PulseConnection& c) {
    struct State {
        PulseConnection* c;
        std::vector<Module> modules;
    } state{&c, {}};
    PulseConnection::Lock lock(c);
    c.await(pa_context_get_module_info_list(
        c.context(),
        [](pa_context*, const pa_module_info* info, int eol, void* userdata) {
            auto* s = static_cast<State*>(userdata);
            if (eol) return s->c->signal();
            if (const pid_t owner = ownerOf(info->argument))
                s->modules.push_back({info->index, owner});
        },
        &state));
    return state.modules;
}

struct Defaults {
    std::string sink;
    std::string source;
};

Defaults defaultsOf(PulseConnection& c) {
    struct State {
        PulseConnection* c;
        Defaults defaults;
    } state{&c, {}};
    PulseConnection::Lock lock(c);
    c.await(pa_context_get_server_info(
        c.context(),
        [](pa_context*, const pa_server_info* info, void* userdata) {
            auto* s = static_cast<State*>(userdata);
            if (info && info->default_sink_name) s->defaults.sink = info->default_sink_name;
            if (info && info->default_source_name) s->defaults.source = info->default_source_name;
            s->c->signal();
        },
        &state));
    return state.defaults;
}

// A server that picks its default by priority may take a new device for
// it; the user's choice stands.
void restoreDefaults(PulseConnection& c, const Defaults& before) {
    const Defaults now = defaultsOf(c);
    PulseConnection::Lock lock(c);
    auto done = [](pa_context*, int, void* userdata) {
        static_cast<PulseConnection*>(userdata)->signal();
    };
    if (!before.sink.empty() && now.sink != before.sink) {
        c.await(pa_context_set_default_sink(c.context(), before.sink.c_str(), done, &c));
    }
    if (!before.source.empty() && now.source != before.source) {
        c.await(pa_context_set_default_source(c.context(), before.source.c_str(), done, &c));
    }
}

void unloadModule(PulseConnection& c, uint32_t index) {
    PulseConnection::Lock lock(c);
    c.await(pa_context_unload_module(
        c.context(), index,
        [](pa_context*, int, void* userdata) { static_cast<PulseConnection*>(userdata)->signal(); },
        &c));
}

}  // namespace

VirtualDevices::VirtualDevices() = default;

VirtualDevices::~VirtualDevices() {
    remove();
}

int VirtualDevices::removeLeftovers(PulseConnection& connection) {
    int removed = 0;
    // Newest first: a loopback or remap goes before the sink it uses.
    std::vector<Module> modules = ourModules(connection);
    std::sort(modules.begin(), modules.end(),
              [](const Module& a, const Module& b) { return a.index > b.index; });
    for (const Module& m : modules) {
        if (alive(m.owner) && m.owner != ::getpid()) continue;
        unloadModule(connection, m.index);
        ++removed;
    }
    return removed;
}

bool VirtualDevices::create(AudioError* error) {
    if (exists_) return true;
    if (!connection_) connection_ = PulseConnection::connect("Quellio", error);
    if (!connection_) return false;
    if (const int n = removeLeftovers(*connection_)) {
        QEL_DEBUG_ERROR("removed " + std::to_string(n) +
                        " virtual device module(s) of an ended run");
    }
    for (const Module& m : ourModules(*connection_)) {
        if (m.owner != ::getpid()) {
            // Another copy of the program runs and owns the pair.
            exists_ = true;
            return true;
        }
    }
    const Defaults defaults = defaultsOf(*connection_);
    const std::string owner = ownerProperty();
    uint32_t sink = 0;
    uint32_t source = 0;
    const bool ok =
        load("module-null-sink",
             std::string("sink_name=") + kEffectsSink + " sink_properties='device.description=\"" +
                 kEffectsDescription + "\" " + owner + "'",
             &sink, error) &&
        load("module-remap-source",
             std::string("master=") + kEffectsSink + ".monitor source_name=" + kMicrophoneSource +
                 " source_properties='device.description=\"" + kMicrophoneDescription + "\" " +
                 "device.icon_name=audio-input-microphone " + owner + "'",
             &source, error);
    restoreDefaults(*connection_, defaults);
    if (!ok) {
        remove();
        return false;
    }
    exists_ = true;
    return true;
}

bool VirtualDevices::setMicrophone(const std::string& source, float volume, AudioError* error) {
    if (source.empty() || source != microphone_) removeMicrophone();
    if (source.empty()) return true;
    if (!ownsPair()) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      exists_ ? "another copy of the program owns the virtual microphone"
                              : "the virtual microphone is off");
        return false;
    }
    if (isQuellioDeviceName(source)) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      "the virtual microphone cannot mix itself in");
        return false;
    }
    // The same microphone only changes its volume: the voice goes on.
    if (loopback_ == UINT32_MAX) {
        const std::string owner = ownerProperty();
        if (!load("module-loopback",
                  "source=" + source + " sink=" + kEffectsSink +
                      " latency_msec=20 source_dont_move=true sink_dont_move=true"
                      " sink_input_properties='media.name=\"Quellio 麦克风\" " +
                      owner + "'",
                  &loopback_, error)) {
            loopback_ = UINT32_MAX;
            return false;
        }
        microphone_ = source;
    }
    // The loopback's stream into our output carries the microphone's volume.
    struct State {
        PulseConnection* c;
        uint32_t module;
        uint32_t input = PA_INVALID_INDEX;
        uint8_t channels = 0;
    } state{connection_.get(), loopback_};
    PulseConnection::Lock lock(*connection_);
    connection_->await(pa_context_get_sink_input_info_list(
        connection_->context(),
        [](pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
            auto* s = static_cast<State*>(userdata);
            if (eol) return s->c->signal();
            if (info->owner_module == s->module) {
                s->input = info->index;
                s->channels = info->volume.channels;
            }
        },
        &state));
    if (state.input == PA_INVALID_INDEX) return true;  // its source went meanwhile
    pa_cvolume cv;
    pa_cvolume_set(&cv, state.channels ? state.channels : 1,
                   pa_sw_volume_from_linear(std::clamp(volume, 0.0f, 1.0f)));
    connection_->await(pa_context_set_sink_input_volume(
        connection_->context(), state.input, &cv,
        [](pa_context*, int, void* userdata) { static_cast<PulseConnection*>(userdata)->signal(); },
        connection_.get()));
    return true;
}

void VirtualDevices::removeMicrophone() {
    if (loopback_ == UINT32_MAX) return;
    unload(loopback_);
    loopback_ = UINT32_MAX;
    microphone_.clear();
}

void VirtualDevices::remove() {
    removeMicrophone();
    while (!modules_.empty()) {
        unload(modules_.back());
    }
    exists_ = false;
}

bool VirtualDevices::load(const std::string& module, const std::string& arguments, uint32_t* index,
                          AudioError* error) {
    struct State {
        PulseConnection* c;
        uint32_t index = PA_INVALID_INDEX;
    } state{connection_.get()};
    bool answered;
    {
        PulseConnection::Lock lock(*connection_);
        answered = connection_->await(pa_context_load_module(
            connection_->context(), module.c_str(), arguments.c_str(),
            [](pa_context*, uint32_t idx, void* userdata) {
                auto* s = static_cast<State*>(userdata);
                s->index = idx;
                s->c->signal();
            },
            &state));
    }
    if (!answered || state.index == PA_INVALID_INDEX) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      "the sound server refused " + module + " (" + arguments + ")");
        return false;
    }
    *index = state.index;
    modules_.push_back(state.index);
    return true;
}

void VirtualDevices::unload(uint32_t index) {
    modules_.erase(std::remove(modules_.begin(), modules_.end(), index), modules_.end());
    if (connection_ && connection_->isConnected()) unloadModule(*connection_, index);
}

}  // namespace platform
