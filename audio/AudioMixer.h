#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <functional>

#include "audio/AudioFile.h"
#include "audio/SpscQueue.h"

namespace platform {

enum class VoiceEnd : unsigned char { Finished, Stopped };

inline constexpr float kMaxVoiceGain = 16.0f;  // +24 dB

// One start of one sound. Created and released off the audio thread; the
// mixer only ever holds a raw pointer to it between its start and its end.
struct AudioVoice {
    AudioVoice(PcmBufferRef sound, size_t startFrame, float volume)
        : sound(std::move(sound)), startFrame(startFrame), volume(volume) {}

    const PcmBufferRef sound;
    const size_t startFrame;
    // 0 to kMaxVoiceGain: a player's volume times the gain that brings its
    // sound to an even loudness, which may raise a quiet one.
    std::atomic<float> volume;
    // The next frame to play, published by the mixer after each block.
    std::atomic<size_t> position{0};
    // Called on the engine's main loop when the voice has ended.
    std::function<void(const AudioVoice&, VoiceEnd)> onEnd;
};

// Mixes the voices that play into the output. The control side queues
// starts and stops; the render side (the audio callback) applies them at the
// start of each block and reports every voice's end exactly once through
// an event queue that a non-realtime thread drains. Render never locks,
// allocates or blocks.
class AudioMixer {
public:
    static constexpr size_t kMaxVoices = 32;

    explicit AudioMixer(int outputChannels) : channels_(outputChannels) {}
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    int outputChannels() const { return channels_; }

    // Control side. False when the command queue is full (the render side
    // has stalled); the caller keeps at most kMaxVoices voices unended.
    bool start(AudioVoice* voice) { return commands_.push(Command{Command::Start, voice}); }
    bool stop(AudioVoice* voice) { return commands_.push(Command{Command::Stop, voice}); }

    // Any side: the gain over every voice's own volume, 0 to 1.
    void setMasterVolume(float volume) {
        master_.store(std::clamp(volume, 0.0f, 1.0f), std::memory_order_relaxed);
    }
    float masterVolume() const { return master_.load(std::memory_order_relaxed); }

    // Render side: fills `frames` interleaved frames of `out`.
    void render(float* out, size_t frames) noexcept;
    // Render side: nothing plays and nothing waits to start.
    bool idle() const { return active_ == 0 && commands_.empty(); }

    // Event side: the next voice that ended, and how.
    bool nextEnd(AudioVoice*& voice, VoiceEnd& how);

private:
    struct Command {
        enum Kind : unsigned char { Start, Stop } kind = Start;
        AudioVoice* voice = nullptr;
    };
    struct Ended {
        AudioVoice* voice = nullptr;
        VoiceEnd how = VoiceEnd::Finished;
    };
    struct Slot {
        AudioVoice* voice = nullptr;
        size_t position = 0;
    };

    void applyCommands() noexcept;
    void end(size_t slot, VoiceEnd how) noexcept;

    const int channels_;
    SpscQueue<Command, 256> commands_;
    SpscQueue<Ended, 64> ended_;
    std::array<Slot, kMaxVoices> slots_{};
    size_t active_ = 0;
    std::atomic<float> master_{1.0f};
};

}  // namespace platform
