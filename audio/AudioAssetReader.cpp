#include "audio/AudioAssetReader.h"

#include <sndfile.h>

namespace platform {

namespace {

// About 93 ms at 44.1 kHz: large enough to keep per-block costs small.
constexpr sf_count_t kFramesPerBlock = 4096;

class SndfileAssetReader final : public AudioAssetReader {
public:
    SndfileAssetReader(SNDFILE* file, const SF_INFO& info) : file_(file), info_(info) {
        desc_.sampleRate = info.samplerate;
        desc_.formatID = AudioStreamDescription::kFormatLinearPCM;
        desc_.formatFlags =
            AudioStreamDescription::kFlagIsSignedInteger | AudioStreamDescription::kFlagIsPacked;
        desc_.channelsPerFrame = static_cast<uint32_t>(info.channels);
        desc_.bitsPerChannel = 16;
        desc_.bytesPerFrame = 2 * desc_.channelsPerFrame;
        desc_.bytesPerPacket = desc_.bytesPerFrame;
        desc_.framesPerPacket = 1;
    }
    ~SndfileAssetReader() override { sf_close(file_); }

    bool startReading() override {
        if (status_ != Status::Unknown) return false;
        status_ = Status::Reading;
        return true;
    }

    std::optional<AudioSampleBlock> copyNextSampleBuffer() override {
        if (status_ != Status::Reading) return std::nullopt;
        AudioSampleBlock block{desc_, {}};
        std::vector<int16_t> samples(static_cast<size_t>(kFramesPerBlock * info_.channels));
        const sf_count_t got = sf_readf_short(file_, samples.data(), kFramesPerBlock);
        if (got <= 0) {
            if (sf_error(file_) != SF_ERR_NO_ERROR) {
                error_ = sf_strerror(file_);
                status_ = Status::Failed;
            } else {
                status_ = Status::Completed;
            }
            return std::nullopt;
        }
        const size_t count = static_cast<size_t>(got * info_.channels);
        block.bytes.resize(count * 2);
        for (size_t i = 0; i < count; ++i) {
            const auto v = static_cast<uint16_t>(samples[i]);
            block.bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
            block.bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        return block;
    }

    Status status() const override { return status_; }
    std::string error() const override { return error_; }

private:
    SNDFILE* file_;
    SF_INFO info_;
    AudioStreamDescription desc_;
    Status status_ = Status::Unknown;
    std::string error_;
};

}  // namespace

std::unique_ptr<AudioAssetReader> AudioAssetReader::open(const std::string& path,
                                                         AudioError* error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        setAudioError(error, AudioError::Code::FileUnreadable, path + ": " + sf_strerror(nullptr));
        return nullptr;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        setAudioError(error, AudioError::Code::UnsupportedFormat, path + ": no audio track");
        return nullptr;
    }
    return std::make_unique<SndfileAssetReader>(file, info);
}

}  // namespace platform
