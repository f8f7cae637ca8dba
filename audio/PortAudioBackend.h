#pragma once

#include <memory>
#include <string>

#include "audio/AudioBackend.h"

namespace platform {

// The output through PortAudio: one float32 stream, opened once at the
// engine's start and kept open; the callback only mixes.
class PortAudioBackend final : public AudioBackend {
public:
    // `deviceName` as matchOutputDevice() reads it; empty: system default.
    explicit PortAudioBackend(std::string deviceName = {});
    ~PortAudioBackend() override;

    std::optional<int> open(double sampleRate, unsigned framesPerBuffer,
                            AudioError* error) override;
    bool start(AudioRenderer& renderer, AudioError* error) override;
    void close() override;
    bool needsEventThread() const override { return true; }
    std::string outputName() const override { return outputName_; }

    // The output latency PortAudio reports for the open stream, in seconds.
    double outputLatency() const;

private:
    struct Stream;
    std::string deviceName_;
    std::string outputName_;
    std::unique_ptr<Stream> stream_;
};

}  // namespace platform
