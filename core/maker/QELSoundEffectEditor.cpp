#include "core/maker/QELSoundEffectEditor.h"

#include <cstring>
#include <filesystem>
#include <limits>

#include "foundation/DebugLog.h"
#include "foundation/DispatchQueue.h"
#include "foundation/Files.h"
#include "foundation/RunLoop.h"

namespace {

constexpr uint16_t kChannels = 1;
constexpr uint32_t kSampleRate = 44100;
constexpr uint16_t kBitsPerSample = 16;

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

std::array<uint8_t, 44> makeWAVHeader(uint32_t dataLength, uint16_t channels, uint32_t sampleRate,
                                      uint16_t bitsPerSample) {
    std::array<uint8_t, 44> h{};
    const auto blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    std::memcpy(&h[0], "RIFF", 4);
    put32(&h[4], dataLength + 36);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    put32(&h[16], 16);
    put16(&h[20], 1);
    put16(&h[22], channels);
    put32(&h[24], sampleRate);
    put32(&h[28], static_cast<uint32_t>(blockAlign) * sampleRate);
    put16(&h[32], blockAlign);
    put16(&h[34], bitsPerSample);
    std::memcpy(&h[36], "data", 4);
    put32(&h[40], dataLength);
    return h;
}

QELSoundEffectEditor::QELSoundEffectEditor(std::string audioURL, std::string destAudioURL)
    : audioURL_(std::move(audioURL)), destAudioURL_(std::move(destAudioURL)) {}

std::shared_ptr<QELSoundEffectEditor> QELSoundEffectEditor::initWithAudioURL(
    const std::string& audioURL, const std::string& destAudioURL) {
    // The old destination goes before the source is opened, as the source
    // may be read for a long time.
    std::error_code ec;
    if (!std::filesystem::remove(destAudioURL, ec) || ec) {
        QEL_DEBUG_ERROR("remove " + destAudioURL + ": " +
                        (ec ? ec.message() : std::string("no such file")));
    }
    platform::AudioError error;
    auto reader = platform::AudioAssetReader::open(audioURL, &error);
    if (!reader) QEL_DEBUG_ERROR(error.message);
    auto editor =
        std::shared_ptr<QELSoundEffectEditor>(new QELSoundEffectEditor(audioURL, destAudioURL));
    editor->assetReader_ = std::move(reader);
    return editor;
}

std::shared_ptr<QELSoundEffectEditor> QELSoundEffectEditor::initWithAudioURL(
    const std::string& audioURL, const std::string& destAudioURL,
    std::unique_ptr<platform::AudioAssetReader> reader) {
    auto editor =
        std::shared_ptr<QELSoundEffectEditor>(new QELSoundEffectEditor(audioURL, destAudioURL));
    editor->assetReader_ = std::move(reader);
    return editor;
}

void QELSoundEffectEditor::setEditType(std::optional<QELSoundEffectEditType> type) {
    if (!type || (editType_ && *editType_ == *type)) {
        editType_ = type;
        return;
    }
    if (voiceChange_) voiceChange_->setVoiceChangeSample(0);
    voiceChange_ = std::make_unique<platform::VoiceChange>();
    audioDesc_.reset();
    switch (*type) {
        case QELSoundEffectEditType::Uncle:
            voiceChange_->setVoiceChangeSample(2);
            break;
        case QELSoundEffectEditType::Loli:
            voiceChange_->setVoiceChangeSample(1);
            break;
        case QELSoundEffectEditType::Fast:
            voiceChange_->setTempoChange(50.0f);
            break;
        case QELSoundEffectEditType::Slow:
            voiceChange_->setTempoChange(-50.0f);
            break;
        case QELSoundEffectEditType::Origin:
            voiceChange_->setVoiceChangeSample(0);
            break;
    }
    editType_ = type;
}

void QELSoundEffectEditor::editAsset(Completion completion, const Executor& executor) {
    if (!assetReader_) {
        // Still answer, as a failure: a caller waiting for the render (the
        // make screen holds its buttons meanwhile) would wait forever.
        platform::MainQueue::async([self = shared_from_this(), completion = std::move(completion)] {
            if (completion) completion(*self);
        });
        return;
    }
    assetReader_->startReading();
    platform::Task task = [self = shared_from_this(), completion = std::move(completion)] {
        self->render(completion);
    };
    if (executor)
        executor(std::move(task));
    else
        platform::globalQueue(platform::QueuePriority::High).async(std::move(task));
}

void QELSoundEffectEditor::render(const Completion& completion) {
    using Status = platform::AudioAssetReader::Status;
    std::vector<uint8_t> result;
    bool failed = false;
    while (true) {
        if (auto block = assetReader_->copyNextSampleBuffer()) {
            const auto bytes = process(*block);
            result.insert(result.end(), bytes.begin(), bytes.end());
            continue;
        }
        // A failed read ends the rendering: what came before it is not the
        // whole recording and must not pass for one.
        if (assetReader_->status() == Status::Failed) {
            QEL_DEBUG_ERROR("read " + audioURL_ + ": " + assetReader_->error());
            failed = true;
        }
        break;
    }
    // The processor holds the last stretch of input back; without this the
    // end of every variant would be cut off.
    if (!failed && voiceChange_ && audioDesc_) {
        const auto rest = voiceChange_->flush();
        result.insert(result.end(), rest.begin(), rest.end());
    }
    if (!failed && result.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()) - 36) {
        QEL_DEBUG_ERROR("render " + audioURL_ + ": too long for a WAV file");
        failed = true;
    }
    if (!failed) {
        const auto header = makeWAVHeader(static_cast<uint32_t>(result.size()), kChannels,
                                          kSampleRate, kBitsPerSample);
        result.insert(result.begin(), header.begin(), header.end());
        std::string error;
        succeeded_ = platform::writeFileAtomically(destAudioURL_, result, &error);
        if (!succeeded_) QEL_DEBUG_ERROR(error);
    }
    platform::MainQueue::async([self = shared_from_this(), completion] {
        if (completion) completion(*self);
    });
}

std::vector<uint8_t> QELSoundEffectEditor::process(const platform::AudioSampleBlock& block) {
    if (block.bytes.empty()) return {};
    if (!audioDesc_) {
        audioDesc_ = block.description;
        if (voiceChange_) {
            voiceChange_->setSampleRate(static_cast<int32_t>(audioDesc_->sampleRate));
            voiceChange_->setChannels(static_cast<int32_t>(audioDesc_->channelsPerFrame));
        }
    }
    if (audioDesc_->formatID != platform::AudioStreamDescription::kFormatLinearPCM || !voiceChange_)
        return {};
    return voiceChange_->processData(block.bytes, static_cast<int32_t>(audioDesc_->bytesPerFrame));
}
