#pragma once

#include <memory>
#include <string>

#include "audio/AudioEngine.h"

namespace platform {

class AudioPlayer;

// Told on the main loop when a player's sound has played to its end
// (successfully false: cut short by the engine stopping); not when the player
// itself is stopped.
class AudioPlayerDelegate {
public:
    virtual ~AudioPlayerDelegate() = default;
    virtual void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) = 0;
};

// Plays one decoded sound file through the audio engine. Main loop only.
// Stopping keeps the position, so play() resumes; a sound that ran to its
// end starts again from the beginning. Releasing a player stops its sound.
class AudioPlayer : public std::enable_shared_from_this<AudioPlayer> {
public:
    // A player for the file at `path` on the shared engine; nullptr with
    // `error` when the file cannot be read or is not audio.
    static std::shared_ptr<AudioPlayer> playerWithContentsOfFile(const std::string& path,
                                                                 AudioError* error = nullptr);
    static std::shared_ptr<AudioPlayer> create(AudioEngine& engine, const std::string& path,
                                               AudioError* error = nullptr);
    ~AudioPlayer();
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    // Makes sure the output is running; the sound is decoded already.
    bool prepareToPlay();
    // Starts (or keeps) playing; false when the engine cannot take the sound.
    bool play();
    void stop();
    bool isPlaying() const { return voice_ != nullptr; }

    float volume() const { return volume_; }
    void setVolume(float volume);  // 0 to 1, also while playing
    // Brings the sound to an even loudness: over the volume, may pass 1
    // (up to kMaxVoiceGain). 1 unless set.
    float gain() const { return gain_; }
    void setGain(float gain);

    double duration() const { return sound_->duration(); }
    double currentTime() const;
    const std::string& path() const { return path_; }

    // Held weakly.
    void setDelegate(std::weak_ptr<AudioPlayerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<AudioPlayerDelegate> delegate() const { return delegate_.lock(); }

private:
    AudioPlayer(AudioEngine& engine, std::string path, PcmBufferRef sound);
    void voiceEnded(const AudioVoice* voice, VoiceEnd how);

    AudioEngine& engine_;
    const std::string path_;
    const PcmBufferRef sound_;
    float volume_ = 1.0f;
    float gain_ = 1.0f;
    size_t resumeFrame_ = 0;
    std::shared_ptr<AudioVoice> voice_;  // set while playing
    std::weak_ptr<AudioPlayerDelegate> delegate_;
};

}  // namespace platform
