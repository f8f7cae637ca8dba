#pragma once

#include <string>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/PulseConnection.h"
#include "foundation/UserDefaults.h"

// Where the effects go and what the maker records from, as the user chose
// it; kept in the user defaults and applied at the next start. Device names
// are the sound server's (or PortAudio's, without a server); an empty name
// means the system default, or none where "none" is a choice.
class QELAudioSettings {
public:
    explicit QELAudioSettings(
        platform::UserDefaults& defaults = platform::UserDefaults::standard());

    // The virtual microphone: effects play into "Quellio 音效", which
    // streaming and chat programs hear as "Quellio 虚拟麦克风".
    bool routingEnabled() const;
    void setRoutingEnabled(bool on);
    // Where effects play while the virtual microphone is off.
    std::string streamOutput() const;
    void setStreamOutput(const std::string& device);
    // A second output that plays the effects too (the user's headphones);
    // empty: none.
    std::string monitorOutput() const;
    void setMonitorOutput(const std::string& device);
    // The real microphone mixed into the virtual one; empty: none.
    std::string mixedMicrophone() const;
    void setMixedMicrophone(const std::string& device);
    // Volumes, 0 to 1 (1 when never set).
    float microphoneVolume() const;
    void setMicrophoneVolume(float volume);
    float streamVolume() const;
    void setStreamVolume(float volume);
    float monitorVolume() const;
    void setMonitorVolume(float volume);
    // The effects' master volume, on every output, 0 to 1 (1 when never set).
    float effectsVolume() const;
    void setEffectsVolume(float volume);
    // Imports and maker recordings are brought to an even loudness (on
    // when never set), at a target in LUFS (-16 when never set, kept within
    // platform::kMinLoudnessTarget ... kMaxLoudnessTarget).
    bool normaliseLoudness() const;
    void setNormaliseLoudness(bool on);
    double loudnessTarget() const;
    void setLoudnessTarget(double lufs);
    // The input the maker records from; empty: the default.
    std::string makerInput() const;
    void setMakerInput(const std::string& device);

    // The choices applied to the devices that exist now: a stored device
    // that has gone falls back (outputs and the maker's input to the
    // default, the mixed microphone to none) without forgetting the choice,
    // and `fellBack` says which, in words a person reads.
    struct Route {
        bool virtualMicrophone = false;
        std::string streamSink;  // empty: default
        bool monitor = false;
        std::string monitorSink;  // empty: default
        std::string microphone;   // empty: none
        std::string makerInput;   // empty: default
        std::vector<std::string> fellBack;
    };
    Route resolve(const platform::SoundServerDevices& devices) const;

    // What the audio engine opens for `route` through the sound server, or
    // (without one) through PortAudio with the stored names.
    platform::AudioEngineOptions engineOptions(const Route& route) const;
    platform::AudioEngineOptions portAudioOptions() const;

private:
    std::string string(const char* key) const;
    float volume(const char* key) const;
    void set(const char* key, const platform::Value& value);

    platform::UserDefaults& defaults_;
};
