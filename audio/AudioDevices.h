#pragma once

#include <optional>
#include <string>
#include <vector>

#include "audio/AudioError.h"

namespace platform {

// One device as PortAudio lists it.
struct AudioDeviceInfo {
    int index = -1;  // PortAudio's device index, valid while PortAudio stays initialised
    std::string hostApi;
    std::string name;
    int maxInputChannels = 0;
    int maxOutputChannels = 0;
    double defaultSampleRate = 0;
    bool isDefaultInput = false;  // the default of the default host API
    bool isDefaultOutput = false;
    bool isHostApiDefaultOutput = false;  // the default output of its own host API

    // "HOST API/NAME": unique where the bare name may not be.
    std::string qualifiedName() const { return hostApi + "/" + name; }
};

// The devices PortAudio sees now (initialises and terminates PortAudio).
std::vector<AudioDeviceInfo> listAudioDevices(AudioError* error = nullptr);

// The output device `name` designates: the exact device name or qualified
// name; a host API name alone (its default output, e.g. "JACK Audio
// Connection Kit"); else a case-insensitive part of a qualified name that
// only one output device contains. An exact name held by devices of several
// host APIs picks the system default's host API first. nullopt with `error`
// listing what was ambiguous or that nothing matched.
std::optional<AudioDeviceInfo> matchOutputDevice(const std::vector<AudioDeviceInfo>& devices,
                                                 const std::string& name,
                                                 AudioError* error = nullptr);

// The input device `name` designates, matched as matchOutputDevice() does
// among the devices that have inputs.
std::optional<AudioDeviceInfo> matchInputDevice(const std::vector<AudioDeviceInfo>& devices,
                                                const std::string& name,
                                                AudioError* error = nullptr);

}  // namespace platform
