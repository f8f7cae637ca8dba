#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audio/AudioAssetReader.h"
#include "audio/VoiceChange.h"
#include "foundation/RunLoop.h"
#include "core/maker/QELSoundEffectEditType.h"

// The 44-byte RIFF/WAVE header of integer PCM data of `dataLength` bytes.
std::array<uint8_t, 44> makeWAVHeader(uint32_t dataLength, uint16_t channels, uint32_t sampleRate,
                                      uint16_t bitsPerSample);

// Renders one voice-changed variant of a recording into a 44.1 kHz mono
// 16-bit WAV file. Made for one source and one destination and used once:
// created, given its editType, then editAsset(). Created and configured on
// the main thread; renders on the high-priority global queue and calls back
// on the main queue. The pending work keeps the renderer alive.
class QELSoundEffectEditor : public std::enable_shared_from_this<QELSoundEffectEditor> {
public:
    using Completion = std::function<void(QELSoundEffectEditor&)>;
    // Where the rendering runs; by default the high-priority global queue.
    using Executor = std::function<void(platform::Task)>;

    // Removes the file at `destAudioURL` and opens the source for reading.
    static std::shared_ptr<QELSoundEffectEditor> initWithAudioURL(const std::string& audioURL,
                                                                  const std::string& destAudioURL);
    // The same over a reader of the caller's (nullptr: the source is unreadable).
    static std::shared_ptr<QELSoundEffectEditor> initWithAudioURL(
        const std::string& audioURL, const std::string& destAudioURL,
        std::unique_ptr<platform::AudioAssetReader> reader);

    const std::string& audioURL() const { return audioURL_; }
    const std::string& destAudioURL() const { return destAudioURL_; }

    std::optional<QELSoundEffectEditType> editType() const { return editType_; }
    // A different case replaces the processor with a fresh one configured
    // for it; the same case keeps the one there is.
    void setEditType(std::optional<QELSoundEffectEditType> type);

    // Starts rendering and returns at once. `completion` is called once on
    // the main queue when rendering has ended, written or not (see
    // succeeded()). Without a readable source nothing starts and the
    // completion comes as a failure.
    void editAsset(Completion completion, const Executor& executor = {});

    // After the completion: whether the destination was written.
    bool succeeded() const { return succeeded_; }

    const platform::VoiceChange* voiceChange() const { return voiceChange_.get(); }
    const std::optional<platform::AudioStreamDescription>& audioDesc() const { return audioDesc_; }

private:
    QELSoundEffectEditor(std::string audioURL, std::string destAudioURL);
    std::vector<uint8_t> process(const platform::AudioSampleBlock& block);
    void render(const Completion& completion);

    const std::string audioURL_;
    const std::string destAudioURL_;
    std::optional<QELSoundEffectEditType> editType_;
    std::unique_ptr<platform::AudioAssetReader> assetReader_;
    std::unique_ptr<platform::VoiceChange> voiceChange_;
    std::optional<platform::AudioStreamDescription> audioDesc_;
    bool succeeded_ = false;
};
