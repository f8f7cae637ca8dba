#include "audio/AudioPlayer.h"

#include <algorithm>

namespace platform {

std::shared_ptr<AudioPlayer> AudioPlayer::playerWithContentsOfFile(const std::string& path,
                                                                   AudioError* error) {
    return create(AudioEngine::shared(), path, error);
}

std::shared_ptr<AudioPlayer> AudioPlayer::create(AudioEngine& engine, const std::string& path,
                                                 AudioError* error) {
    PcmBufferRef sound = engine.sound(path, error);
    if (!sound) return nullptr;
    return std::shared_ptr<AudioPlayer>(new AudioPlayer(engine, path, std::move(sound)));
}

AudioPlayer::AudioPlayer(AudioEngine& engine, std::string path, PcmBufferRef sound)
    : engine_(engine), path_(std::move(path)), sound_(std::move(sound)) {}

AudioPlayer::~AudioPlayer() {
    if (voice_) engine_.stopVoice(voice_);
}

bool AudioPlayer::prepareToPlay() {
    engine_.startIfNeeded();
    return engine_.isRunning();
}

bool AudioPlayer::play() {
    if (voice_) return true;
    std::weak_ptr<AudioPlayer> weak = weak_from_this();
    voice_ = engine_.startVoice(sound_, resumeFrame_, volume_ * gain_,
                                [weak](const AudioVoice& voice, VoiceEnd how) {
                                    if (auto self = weak.lock()) self->voiceEnded(&voice, how);
                                });
    return voice_ != nullptr;
}

void AudioPlayer::stop() {
    if (!voice_) return;
    resumeFrame_ = voice_->position.load(std::memory_order_relaxed);
    if (resumeFrame_ >= sound_->frames()) resumeFrame_ = 0;
    engine_.stopVoice(voice_);
    voice_.reset();
}

void AudioPlayer::setVolume(float volume) {
    volume_ = std::clamp(volume, 0.0f, 1.0f);
    if (voice_) voice_->volume.store(volume_ * gain_, std::memory_order_relaxed);
}

void AudioPlayer::setGain(float gain) {
    gain_ = std::clamp(gain, 0.0f, kMaxVoiceGain);
    if (voice_) voice_->volume.store(volume_ * gain_, std::memory_order_relaxed);
}

double AudioPlayer::currentTime() const {
    const size_t frame = voice_ ? voice_->position.load(std::memory_order_relaxed) : resumeFrame_;
    return static_cast<double>(frame) / sound_->sampleRate;
}

void AudioPlayer::voiceEnded(const AudioVoice* voice, VoiceEnd how) {
    // Ends of voices this player stopped itself are old news; any other end
    // of the current voice is news, a cut by the engine stopping included,
    // so that whoever shows the sound as playing hears it has stopped.
    if (voice != voice_.get()) return;
    voice_.reset();
    resumeFrame_ = 0;
    auto self = shared_from_this();  // the delegate may release us
    if (auto delegate = delegate_.lock())
        delegate->audioPlayerDidFinishPlaying(*this, how == VoiceEnd::Finished);
}

}  // namespace platform
