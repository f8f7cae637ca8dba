#include "audio/AudioFile.h"

#include <samplerate.h>
#include <sndfile.h>

#include <cmath>

namespace platform {

namespace {

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

}  // namespace

PcmBufferRef decodeAudioFile(const std::string& path, double sampleRate, AudioError* error) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) {
        const int code = sf_error(nullptr);
        const auto kind = code == SF_ERR_SYSTEM ? AudioError::Code::FileUnreadable
                          : code == SF_ERR_UNSUPPORTED_ENCODING
                              ? AudioError::Code::UnsupportedFormat
                              : AudioError::Code::NotAudio;
        setAudioError(error, kind, path + ": " + sf_error_number(code));
        return nullptr;
    }
    if (info.channels != 1 && info.channels != 2) {
        setAudioError(
            error, AudioError::Code::UnsupportedFormat,
            path + ": " + std::to_string(info.channels) + " channels (mono or stereo only)");
        return nullptr;
    }
    if (info.samplerate <= 0) {
        setAudioError(error, AudioError::Code::UnsupportedFormat, path + ": no sample rate");
        return nullptr;
    }
    const auto maxFrames = static_cast<sf_count_t>(kMaxDecodedSeconds * info.samplerate);

    auto pcm = std::make_shared<PcmBuffer>();
    pcm->channels = info.channels;
    pcm->sampleRate = sampleRate;
    // Frame counts of compressed formats are estimates: read until the end.
    std::vector<float> decoded;
    if (info.frames > 0 && info.frames <= maxFrames)
        decoded.reserve(static_cast<size_t>(info.frames * info.channels));
    constexpr sf_count_t kChunk = 8192;
    std::vector<float> chunk(static_cast<size_t>(kChunk * info.channels));
    sf_count_t total = 0;
    for (;;) {
        const sf_count_t n = sf_readf_float(file.get(), chunk.data(), kChunk);
        if (n <= 0) break;
        total += n;
        if (total > maxFrames) {
            setAudioError(error, AudioError::Code::UnsupportedFormat,
                          path + ": longer than " +
                              std::to_string(static_cast<int>(kMaxDecodedSeconds)) + " s");
            return nullptr;
        }
        decoded.insert(decoded.end(), chunk.begin(), chunk.begin() + n * info.channels);
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        setAudioError(error, AudioError::Code::NotAudio, path + ": " + sf_strerror(file.get()));
        return nullptr;
    }

    if (info.samplerate == static_cast<int>(sampleRate) || decoded.empty()) {
        pcm->samples = std::move(decoded);
        pcm->samples.shrink_to_fit();
        return pcm;
    }

    const double ratio = sampleRate / info.samplerate;
    const auto inFrames = static_cast<long>(decoded.size() / static_cast<size_t>(info.channels));
    const auto outFrames = static_cast<long>(std::ceil(static_cast<double>(inFrames) * ratio)) + 1;
    pcm->samples.resize(static_cast<size_t>(outFrames * info.channels));
    SRC_DATA data{};
    data.data_in = decoded.data();
    data.input_frames = inFrames;
    data.data_out = pcm->samples.data();
    data.output_frames = outFrames;
    data.src_ratio = ratio;
    if (const int rc = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, info.channels); rc != 0) {
        setAudioError(error, AudioError::Code::UnsupportedFormat, path + ": " + src_strerror(rc));
        return nullptr;
    }
    pcm->samples.resize(static_cast<size_t>(data.output_frames_gen * info.channels));
    pcm->samples.shrink_to_fit();
    return pcm;
}

}  // namespace platform
