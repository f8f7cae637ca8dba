#include "audio/AudioFile.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "audio/Resampler.h"

namespace platform {

namespace {

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

}  // namespace

PcmBufferRef decodeAudioFile(const std::string& path, double sampleRate, AudioError* error) {
    return decodeAudioFile(path, sampleRate, DecodeOptions(), error);
}

PcmBufferRef decodeAudioFile(const std::string& path, double sampleRate,
                             const DecodeOptions& options, AudioError* error) {
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
    const int outChannels = options.mixToMono ? 1 : info.channels;
    const double expectedFrames = info.frames > 0 ? static_cast<double>(info.frames) : 0;
    auto stopped = [&](double done) {
        if (!options.progress || options.progress(done)) return false;
        setAudioError(error, AudioError::Code::Cancelled, path + ": cancelled");
        return true;
    };

    auto pcm = std::make_shared<PcmBuffer>();
    pcm->channels = outChannels;
    pcm->sampleRate = sampleRate;
    // Frame counts of compressed formats are estimates: read until the end.
    std::vector<float> decoded;
    if (info.frames > 0 && info.frames <= maxFrames)
        decoded.reserve(static_cast<size_t>(info.frames * outChannels));
    constexpr sf_count_t kChunk = 8192;
    std::vector<float> chunk(static_cast<size_t>(kChunk * info.channels));
    sf_count_t total = 0;
    // Progress counts decoding and resampling as half the work each.
    const bool resample = info.samplerate != static_cast<int>(sampleRate);
    const double decodeShare = resample ? 0.5 : 1.0;
    for (;;) {
        const sf_count_t n = sf_readf_float(file.get(), chunk.data(), kChunk);
        if (n <= 0) break;
        total += n;
        if (total > maxFrames) {
            setAudioError(error, AudioError::Code::TooLong,
                          path + ": longer than " +
                              std::to_string(static_cast<int>(kMaxDecodedSeconds)) + " s");
            return nullptr;
        }
        if (outChannels == info.channels) {
            decoded.insert(decoded.end(), chunk.begin(), chunk.begin() + n * info.channels);
        } else {
            for (sf_count_t i = 0; i < n; ++i)
                decoded.push_back(0.5f * (chunk[static_cast<size_t>(2 * i)] +
                                          chunk[static_cast<size_t>(2 * i + 1)]));
        }
        if (expectedFrames > 0 &&
            stopped(decodeShare * std::min(1.0, static_cast<double>(total) / expectedFrames)))
            return nullptr;
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        setAudioError(error, AudioError::Code::NotAudio, path + ": " + sf_strerror(file.get()));
        return nullptr;
    }
    if (stopped(decodeShare)) return nullptr;

    if (!resample || decoded.empty()) {
        pcm->samples = std::move(decoded);
        pcm->samples.shrink_to_fit();
        return pcm;
    }

    // Resampled in blocks so that a long file reports progress and can be
    // stopped between them.
    const auto inFrames = static_cast<long>(decoded.size() / static_cast<size_t>(outChannels));
    const bool wholeRate = sampleRate == std::floor(sampleRate) && sampleRate <= 1e6;
    if (auto table = wholeRate ? Resampler::create(info.samplerate, static_cast<int>(sampleRate))
                               : nullptr) {
        const size_t outFrames = table->outputFrames(static_cast<size_t>(inFrames));
        pcm->samples.resize(outFrames * static_cast<size_t>(outChannels));
        constexpr size_t kBlock = 1 << 16;
        for (size_t from = 0; from < outFrames; from += kBlock) {
            table->process(decoded.data(), static_cast<size_t>(inFrames), outChannels,
                           pcm->samples.data(), from, std::min(outFrames, from + kBlock));
            if (stopped(0.5 + 0.5 * static_cast<double>(std::min(outFrames, from + kBlock)) /
                                  static_cast<double>(outFrames)))
                return nullptr;
        }
        return pcm;
    }
    const double ratio = sampleRate / info.samplerate;
    const auto outFrames = static_cast<long>(std::ceil(static_cast<double>(inFrames) * ratio)) + 1;
    pcm->samples.resize(static_cast<size_t>(outFrames * outChannels));
    int rc = 0;
    std::unique_ptr<SRC_STATE, decltype(&src_delete)> state(
        src_new(SRC_SINC_MEDIUM_QUALITY, outChannels, &rc), &src_delete);
    if (!state) {
        setAudioError(error, AudioError::Code::UnsupportedFormat, path + ": " + src_strerror(rc));
        return nullptr;
    }
    constexpr long kBlock = 1 << 16;
    long in = 0, out = 0;
    for (;;) {
        SRC_DATA data{};
        const long take = std::min(kBlock, inFrames - in);
        data.data_in = decoded.data() + in * outChannels;
        data.input_frames = take;
        data.data_out = pcm->samples.data() + out * outChannels;
        data.output_frames = outFrames - out;
        data.src_ratio = ratio;
        data.end_of_input = in + take >= inFrames ? 1 : 0;
        if ((rc = src_process(state.get(), &data)) != 0) {
            setAudioError(error, AudioError::Code::UnsupportedFormat,
                          path + ": " + src_strerror(rc));
            return nullptr;
        }
        in += data.input_frames_used;
        out += data.output_frames_gen;
        if (data.end_of_input && data.output_frames_gen == 0) break;
        if (out >= outFrames) break;
        if (stopped(0.5 + 0.5 * static_cast<double>(in) / static_cast<double>(inFrames)))
            return nullptr;
    }
    pcm->samples.resize(static_cast<size_t>(out * outChannels));
    pcm->samples.shrink_to_fit();
    return pcm;
}

}  // namespace platform
