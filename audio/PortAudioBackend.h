#pragma once

#include <memory>
#include <string>

#include "audio/AudioBackend.h"
#include "audio/AudioDevices.h"

namespace platform {

// The output through PortAudio: one float32 stream, opened once at the
// engine's start and kept open; the callback only mixes.
class PortAudioBackend final : public AudioBackend {
public:
    // `deviceName` as matchOutputDevice() reads it, `inputName` as
    // matchInputDevice(); empty: system default.
    explicit PortAudioBackend(std::string deviceName = {}, std::string inputName = {});
    ~PortAudioBackend() override;

    std::optional<int> open(double sampleRate, unsigned framesPerBuffer,
                            AudioError* error) override;
    bool start(AudioRenderer& renderer, AudioError* error) override;
    void close() override;
    bool needsEventThread() const override { return true; }
    std::string outputName() const override { return outputName_; }
    bool hasInput() const override;
    bool startInput(AudioError* error) override;
    void stopInput() override;
    std::string inputName() const override { return inputName_; }

    // The output latency PortAudio reports for the open stream, in seconds.
    double outputLatency() const;

private:
    struct Stream;
    struct Input;
    std::optional<AudioDeviceInfo> inputDevice(AudioError* error) const;

    std::string deviceName_;
    std::string inputDeviceName_;
    std::string outputName_;
    std::string inputName_;
    double sampleRate_ = 44100;
    unsigned framesPerBuffer_ = 128;
    std::unique_ptr<Stream> stream_;
    std::unique_ptr<Input> input_;
};

}  // namespace platform
