#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// The voice-change processor: pitch presets and tempo change applied to
// interleaved 16-bit PCM blocks, on SoundTouch. Like a stream filter it keeps
// input back while it gathers enough to work on; flush() hands out the rest
// once the input has ended. Not thread-safe; one stream per object.
class VoiceChange {
public:
    // Semitones of the presets: 1 is a child's voice, 2 a grown man's.
    static constexpr double kLoliSemitones = 6.0;
    static constexpr double kUncleSemitones = -5.0;

    VoiceChange();
    ~VoiceChange();
    VoiceChange(const VoiceChange&) = delete;
    VoiceChange& operator=(const VoiceChange&) = delete;

    // 0 the unchanged voice, 1 the high voice, 2 the deep voice; other
    // values keep the voice unchanged.
    void setVoiceChangeSample(int sample);
    // Percent faster: 50 plays 1.5 times as fast, -50 half as fast; the
    // pitch stays.
    void setTempoChange(float percent);
    void setSampleRate(int32_t rate);
    void setChannels(int32_t channels);

    // Feeds one block of interleaved 16-bit samples (`bytePerSample` bytes
    // per frame) and returns what the processor has ready, possibly nothing.
    std::vector<uint8_t> processData(const uint8_t* data, size_t size, int32_t bytePerSample);
    std::vector<uint8_t> processData(const std::vector<uint8_t>& data, int32_t bytePerSample) {
        return processData(data.data(), data.size(), bytePerSample);
    }
    // The input has ended: returns everything still held back.
    std::vector<uint8_t> flush();

private:
    void receiveInto(std::vector<uint8_t>& out);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
