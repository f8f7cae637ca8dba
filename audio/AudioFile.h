#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioError.h"

namespace platform {

// A whole sound decoded into memory: interleaved float samples in [-1, 1]
// at the engine's rate, one or two channels.
struct PcmBuffer {
    double sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;

    size_t frames() const {
        return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0;
    }
    double duration() const {
        return sampleRate > 0 ? static_cast<double>(frames()) / sampleRate : 0;
    }
    size_t bytes() const { return samples.capacity() * sizeof(float); }
};

using PcmBufferRef = std::shared_ptr<const PcmBuffer>;

// Longest sound decoded into memory; longer files would take hundreds of
// megabytes and are refused.
inline constexpr double kMaxDecodedSeconds = 600.0;

struct DecodeOptions {
    // Stereo is mixed down to one channel before it is resampled (half the
    // work of resampling both).
    bool mixToMono = false;
    // Called now and then with the share done so far (0..1); returning false
    // stops the decoding, which then fails with AudioError::Code::Cancelled.
    std::function<bool(double done)> progress;
};

// Decodes the file at `path` (WAV, FLAC, Ogg Vorbis, MP3, CAF and whatever
// else libsndfile reads) and converts it to `sampleRate`. Mono and stereo
// only. nullptr with `error` filled on failure.
PcmBufferRef decodeAudioFile(const std::string& path, double sampleRate,
                             AudioError* error = nullptr);
PcmBufferRef decodeAudioFile(const std::string& path, double sampleRate,
                             const DecodeOptions& options, AudioError* error = nullptr);

}  // namespace platform
