#pragma once

#include <memory>
#include <vector>

#include "audio/AudioBackend.h"
#include "foundation/RunLoop.h"

namespace platform {

// An output that plays into nothing, timed by a run loop's clock: while
// anything plays it renders, on the loop, the frames the clock says have
// passed, so a sound ends once the clock has moved past its duration and the
// loop runs. The mixer runs for real; only the device is missing. Used by
// tests and where no device opens.
class NullAudioBackend final : public AudioBackend {
public:
    explicit NullAudioBackend(RunLoop& loop, int channels = 2);
    ~NullAudioBackend() override;

    std::optional<int> open(double sampleRate, unsigned framesPerBuffer,
                            AudioError* error) override;
    bool start(AudioRenderer& renderer, AudioError* error) override;
    void close() override;
    bool needsEventThread() const override { return false; }
    std::string outputName() const override { return "null"; }
    void willQueueCommand() override;
    void didQueueCommand() override;

    // A test signal as the input: mono at the output's rate, fed as the
    // clock moves while the input runs, then silence. Without one there is
    // no input. Set before the engine starts.
    void setInputSignal(std::vector<float> mono);
    bool hasInput() const override;
    bool startInput(AudioError* error) override;
    void stopInput() override;
    std::string inputName() const override { return hasInput() ? "null" : ""; }

    // Everything rendered so far, when recording was asked for (tests).
    void setRecording(bool on);
    const std::vector<float>& recorded() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace platform
