#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "audio/AudioBackend.h"

namespace platform {

class PulseConnection;

// Where the pulse backend plays: the stream output (the virtual output, or
// any sink) and, when `monitorSink` is set, a monitor output beside it, each
// with its own volume; the input the recorder reads. Empty sink or source
// names mean the server's default.
struct PulseRoute {
    std::string streamSink;
    std::string monitorSink;
    bool monitor = false;
    float streamVolume = 1.0f;
    float monitorVolume = 1.0f;
    std::string inputSource;
};

// The output through libpulse: a playback stream per output, opened at the
// engine's start and kept open. The mixer renders once, in the stream
// output's callback; the monitor output plays the same mix from a ring, so
// one sound at a time holds across both. Serves PulseAudio and PipeWire.
class PulseAudioBackend final : public AudioBackend {
public:
    explicit PulseAudioBackend(PulseRoute route);
    ~PulseAudioBackend() override;

    std::optional<int> open(double sampleRate, unsigned framesPerBuffer,
                            AudioError* error) override;
    bool start(AudioRenderer& renderer, AudioError* error) override;
    void close() override;
    bool needsEventThread() const override { return true; }
    std::string outputName() const override;
    bool hasInput() const override { return true; }
    bool startInput(AudioError* error) override;
    void stopInput() override;
    std::string inputName() const override;

    // Volumes of the two outputs, 0 to 1; take effect within a block.
    void setVolumes(float stream, float monitor);
    // The latency asked of the server for each output, in seconds.
    double requestedLatency() const;
    // The sink each output plays on now (after a fall-back, the default's).
    std::string streamSinkName() const;
    std::string monitorSinkName() const;

    // Told, on the sound server's thread, when an output lost its device
    // (the server moved it to another, or the server went away): whether it
    // was the monitor, and the sink it plays on now (empty when it stopped).
    void setRouteLost(std::function<void(bool monitor, const std::string& nowOn)> handler);

private:
    struct Output;
    struct Input;
    bool openOutput(Output& output, const std::string& sink, const char* name, AudioError* error);

    PulseRoute route_;
    double sampleRate_ = 44100;
    unsigned framesPerBuffer_ = 128;
    std::unique_ptr<PulseConnection> connection_;
    std::unique_ptr<Output> stream_;
    std::unique_ptr<Output> monitor_;
    std::unique_ptr<Input> input_;
    std::function<void(bool, const std::string&)> routeLost_;
};

}  // namespace platform
