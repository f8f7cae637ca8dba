#include "audio/AudioMixer.h"

#include <algorithm>
#include <cstring>

namespace platform {

void AudioMixer::applyCommands() noexcept {
    Command c;
    while (commands_.pop(c)) {
        if (c.kind == Command::Start) {
            if (active_ == kMaxVoices) {
                // The engine never lets more voices be unended; still, never
                // lose one without telling its owner.
                ended_.push(Ended{c.voice, VoiceEnd::Stopped});
                continue;
            }
            slots_[active_++] = Slot{c.voice, c.voice->startFrame};
        } else {
            for (size_t i = 0; i < active_; ++i) {
                if (slots_[i].voice == c.voice) {
                    end(i, VoiceEnd::Stopped);
                    break;
                }
            }
        }
    }
}

void AudioMixer::end(size_t slot, VoiceEnd how) noexcept {
    slots_[slot].voice->position.store(slots_[slot].position, std::memory_order_relaxed);
    // Cannot fail: at most kMaxVoices voices are unended and the queue holds more.
    ended_.push(Ended{slots_[slot].voice, how});
    slots_[slot] = slots_[--active_];
}

void AudioMixer::render(float* out, size_t frames) noexcept {
    applyCommands();
    const size_t outChannels = static_cast<size_t>(channels_);
    if (frames > 0) std::memset(out, 0, frames * outChannels * sizeof(float));

    const float master = master_.load(std::memory_order_relaxed);
    for (size_t i = 0; i < active_;) {
        Slot& s = slots_[i];
        const PcmBuffer& sound = *s.voice->sound;
        const size_t total = sound.frames();
        const size_t n = std::min(frames, total - std::min(total, s.position));
        const float gain =
            std::clamp(s.voice->volume.load(std::memory_order_relaxed), 0.0f, kMaxVoiceGain) * master;
        const float* in = sound.samples.data() + s.position * static_cast<size_t>(sound.channels);
        float* o = out;
        if (sound.channels == 1) {
            for (size_t f = 0; f < n; ++f, o += outChannels) {
                const float v = in[f] * gain;
                for (size_t c = 0; c < outChannels; ++c) o[c] += v;
            }
        } else if (outChannels == 2) {
            for (size_t f = 0; f < n * 2; ++f) o[f] += in[f] * gain;
        } else {
            for (size_t f = 0; f < n; ++f) o[f] += 0.5f * (in[2 * f] + in[2 * f + 1]) * gain;
        }
        s.position += n;
        if (s.position >= total) {
            end(i, VoiceEnd::Finished);  // moves the last slot here: look at i again
        } else {
            s.voice->position.store(s.position, std::memory_order_relaxed);
            ++i;
        }
    }

    for (size_t k = 0; k < frames * outChannels; ++k) out[k] = std::clamp(out[k], -1.0f, 1.0f);
}

bool AudioMixer::nextEnd(AudioVoice*& voice, VoiceEnd& how) {
    Ended e;
    if (!ended_.pop(e)) return false;
    voice = e.voice;
    how = e.how;
    return true;
}

}  // namespace platform
