#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audio/AudioEngine.h"
#include "audio/PulseConnection.h"
#include "audio/VirtualDevices.h"
#include "core/settings/QELAudioSettings.h"
#include "foundation/RunLoop.h"

// Puts the audio settings into effect: the virtual devices in the sound
// server and the engine's outputs. Streams open at start() and when a
// setting changes (apply()), never on a tap. Follows the sound server: lists
// its devices live, falls back when an output goes, and after the server
// restarts reconnects and makes everything again. Without a server the
// engine plays through PortAudio (the virtual microphone needs one). Main
// loop only; nothing here blocks longer than a reply from the server.
class QELAudioRouting {
public:
    QELAudioRouting(QELAudioSettings& settings, platform::AudioEngine& engine,
                    platform::RunLoop& loop = platform::RunLoop::main());
    ~QELAudioRouting();
    QELAudioRouting(const QELAudioRouting&) = delete;
    QELAudioRouting& operator=(const QELAudioRouting&) = delete;

    // The program's, over the standard defaults and the shared engine.
    static QELAudioRouting& shared();

    void start();
    // Reopens what the changed settings concern; volumes change in place.
    void apply();
    // Stores the effects' master volume and applies it at once.
    void setEffectsVolume(float volume);
    // Closes the outputs and removes the virtual devices (at quit).
    void stop();

    QELAudioSettings& settings() const { return settings_; }
    bool hasSoundServer() const { return connection_ != nullptr; }
    // What the settings can choose from: the server's sinks and sources, or
    // PortAudio's devices without a server (none on the null output).
    struct DeviceLists {
        bool soundServer = false;
        std::vector<platform::SoundServerDevice> outputs;
        std::vector<platform::SoundServerDevice> inputs;
    };
    DeviceLists deviceLists() const;
    // The server's sinks and sources now; nullopt without a server.
    std::optional<platform::SoundServerDevices> devices() const;
    // Whether effects reach the virtual microphone now.
    bool virtualMicrophoneActive() const { return virtual_ && virtual_->exists(); }
    // Why the virtual microphone or an output is not as chosen; empty if it is.
    const std::string& problem() const { return problem_; }

    // A sentence for the user (a fall-back, a lost output, a reconnection).
    void setNoticeHandler(std::function<void(const std::string&)> handler) {
        notice_ = std::move(handler);
    }
    // The device lists changed (or the server came or went).
    void setDevicesChangedHandler(std::function<void()> handler) {
        devicesChanged_ = std::move(handler);
    }

private:
    void connect();
    void openOutputs(const QELAudioSettings::Route& route);
    void serverLost();
    void retry();
    void tell(const std::string& message);

    QELAudioSettings& settings_;
    platform::AudioEngine& engine_;
    platform::RunLoop& loop_;
    std::unique_ptr<platform::PulseConnection> connection_;
    std::unique_ptr<platform::VirtualDevices> virtual_;
    std::optional<platform::AudioEngineOptions> opened_;
    std::string problem_;
    bool started_ = false;
    bool nullOutput_ = false;
    std::shared_ptr<QELAudioRouting*> self_;  // lets posted work find out it outlived us
    std::function<void(const std::string&)> notice_;
    std::function<void()> devicesChanged_;
};
