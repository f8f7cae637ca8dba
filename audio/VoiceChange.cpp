#include "audio/VoiceChange.h"

#include <SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {

struct VoiceChange::Impl {
    soundtouch::SoundTouch touch;
    int channels = 1;
    bool configured = false;
    std::vector<float> in;
    std::vector<float> out;
};

VoiceChange::VoiceChange() : impl_(std::make_unique<Impl>()) {
    auto& t = impl_->touch;
    t.setSampleRate(44100);
    t.setChannels(1);
    // Windows tuned for speech, as SoundTouch recommends for voice: shorter
    // sequences keep syllables from echoing.
    t.setSetting(SETTING_SEQUENCE_MS, 40);
    t.setSetting(SETTING_SEEKWINDOW_MS, 15);
    t.setSetting(SETTING_OVERLAP_MS, 8);
}

VoiceChange::~VoiceChange() = default;

void VoiceChange::setVoiceChangeSample(int sample) {
    double semitones = 0;
    if (sample == 1) semitones = kLoliSemitones;
    if (sample == 2) semitones = kUncleSemitones;
    impl_->touch.setPitchSemiTones(semitones);
}

void VoiceChange::setTempoChange(float percent) {
    impl_->touch.setTempoChange(percent);
}

void VoiceChange::setSampleRate(int32_t rate) {
    if (rate > 0) impl_->touch.setSampleRate(static_cast<unsigned>(rate));
}

void VoiceChange::setChannels(int32_t channels) {
    if (channels < 1 || channels > 16) return;
    impl_->channels = channels;
    impl_->touch.setChannels(static_cast<unsigned>(channels));
}

std::vector<uint8_t> VoiceChange::processData(const uint8_t* data, size_t size,
                                              int32_t bytePerSample) {
    std::vector<uint8_t> result;
    // Only 16-bit samples are understood: a frame of any other width would
    // be read as noise.
    if (!data || bytePerSample != 2 * impl_->channels) return result;
    const size_t frames = size / static_cast<size_t>(bytePerSample);
    if (frames == 0) return result;
    const size_t samples = frames * static_cast<size_t>(impl_->channels);
    impl_->in.resize(samples);
    for (size_t i = 0; i < samples; ++i) {
        int16_t s;
        std::memcpy(&s, data + 2 * i, 2);
        impl_->in[i] = static_cast<float>(s) * (1.0f / 32768.0f);
    }
    impl_->touch.putSamples(impl_->in.data(), static_cast<unsigned>(frames));
    receiveInto(result);
    return result;
}

std::vector<uint8_t> VoiceChange::flush() {
    std::vector<uint8_t> result;
    impl_->touch.flush();
    receiveInto(result);
    return result;
}

void VoiceChange::receiveInto(std::vector<uint8_t>& out) {
    constexpr unsigned kChunk = 4096;
    const auto channels = static_cast<size_t>(impl_->channels);
    impl_->out.resize(kChunk * channels);
    while (unsigned got = impl_->touch.receiveSamples(impl_->out.data(), kChunk)) {
        const size_t base = out.size();
        out.resize(base + got * channels * 2);
        for (size_t i = 0; i < got * channels; ++i) {
            const float v = std::clamp(impl_->out[i] * 32768.0f, -32768.0f, 32767.0f);
            const auto s = static_cast<int16_t>(std::lrint(v));
            std::memcpy(out.data() + base + 2 * i, &s, 2);
        }
    }
}

}  // namespace platform
