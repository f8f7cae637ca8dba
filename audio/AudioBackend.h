#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "audio/AudioError.h"

namespace platform {

// What a backend drives: the engine's output mix. A later input path (the
// recorder) gets its own hook beside render().
class AudioRenderer {
public:
    virtual ~AudioRenderer() = default;
    // Called on the backend's audio thread; realtime rules apply.
    virtual void render(float* out, size_t frames) noexcept = 0;
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

    // A command is about to reach the mixer / has been queued. Devices
    // ignore these; the null backend renders the time that has passed before
    // the command and wakes up to apply it.
    virtual void willQueueCommand() {}
    virtual void didQueueCommand() {}
};

}  // namespace platform
