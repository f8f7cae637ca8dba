#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "audio/AudioError.h"

namespace platform {

// What a backend drives: the engine's output mix, and the input for the
// recorder beside it.
class AudioRenderer {
public:
    virtual ~AudioRenderer() = default;
    // Called on the backend's audio thread; realtime rules apply.
    virtual void render(float* out, size_t frames) noexcept = 0;
    // Input samples while the input runs: mono, at the output's rate. Called
    // on the input's audio thread; realtime rules apply.
    virtual void capture(const float* in, size_t frames) noexcept {
        (void)in;
        (void)frames;
    }
    // Nothing plays and nothing waits to start (render side only).
    virtual bool idle() const noexcept = 0;
    // Hands ended voices to the main loop; for backends without a thread of
    // their own, called on their driving thread after rendering.
    virtual void deliverEndedVoices() = 0;
};

// A device the engine plays through: PortAudio, or the null backend of
// tests and machines without sound.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;

    // Opens the output at `sampleRate` with `framesPerBuffer`-frame blocks.
    // Returns the output's channel count (1 or 2), or nullopt and `error`.
    virtual std::optional<int> open(double sampleRate, unsigned framesPerBuffer,
                                    AudioError* error) = 0;
    // Starts calling renderer.render(); the renderer outlives the stream.
    virtual bool start(AudioRenderer& renderer, AudioError* error) = 0;
    // Stops the stream (letting what was rendered play out) and closes it.
    virtual void close() = 0;

    // Whether the engine must run a thread to pick up ended voices.
    virtual bool needsEventThread() const = 0;
    virtual std::string outputName() const = 0;

    // Whether there is an input to record from.
    virtual bool hasInput() const { return false; }
    // Opens the input at the output's rate and feeds renderer.capture()
    // until stopInput(); only between start() and close().
    virtual bool startInput(AudioError* error) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "no input device");
        return false;
    }
    // Stops and closes the input; capture() is not called after it returns.
    virtual void stopInput() {}
    virtual std::string inputName() const { return ""; }

    // A command is about to reach the mixer / has been queued. Devices
    // ignore these; the null backend renders the time that has passed before
    // the command and wakes up to apply it.
    virtual void willQueueCommand() {}
    virtual void didQueueCommand() {}
};

}  // namespace platform
