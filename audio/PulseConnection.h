#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioError.h"

struct pa_context;
struct pa_threaded_mainloop;
struct pa_operation;

namespace platform {

// One sink or source as the sound server lists it.
struct SoundServerDevice {
    std::string name;         // the server's name, e.g. "alsa_output.pci-0000_00_1f.3"
    std::string description;  // what a person reads
    bool isMonitor = false;   // a sink's monitor (sources only)
    bool isOurs = false;      // one of the program's own virtual devices
};

struct SoundServerDevices {
    std::vector<SoundServerDevice> outputs;  // sinks
    std::vector<SoundServerDevice> inputs;   // sources
    std::string defaultOutput;
    std::string defaultInput;
};

// A connection to the PulseAudio server (or PipeWire's PulseAudio service)
// on a threaded main loop of its own. Every libpulse call of the program
// goes through one: lock(), call, wait for the operation, unlock. Never
// spawns a server; a missing server is a quick, clear failure.
class PulseConnection {
public:
    // Connects as `clientName`; nullptr with `error` when no server answers
    // (within a few seconds at worst).
    static std::unique_ptr<PulseConnection> connect(const std::string& clientName,
                                                    AudioError* error = nullptr);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_threaded_mainloop* mainloop() const { return mainloop_; }
    pa_context* context() const { return context_; }
    // Whether the server is still there.
    bool isConnected() const;

    // Holds the loop's lock for a scope.
    class Lock {
    public:
        explicit Lock(const PulseConnection& c);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

    // With the lock held: waits until `operation` is done (the callbacks
    // that fill its results call signal()) and releases it; false when the
    // operation could not start or the connection died first.
    bool await(pa_operation* operation);
    // Wakes await(); for callbacks on the loop's thread.
    void signal() const;

    // Sinks and sources now, with the defaults.
    std::optional<SoundServerDevices> devices(AudioError* error = nullptr);

    // Calls `changed` on the loop's thread whenever a sink or source comes
    // or goes, or the server drops the connection (`changed(false)`).
    void watchDevices(std::function<void(bool connected)> changed);

private:
    PulseConnection() = default;
    struct Watch;

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    std::unique_ptr<Watch> watch_;
};

// Whether `name` is the program's own sink or source.
bool isQuellioDeviceName(const std::string& name);

}  // namespace platform
