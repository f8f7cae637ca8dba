#pragma once

#include <cstddef>
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

// Decodes the file at `path` (WAV, FLAC, Ogg Vorbis, MP3, CAF and whatever
// else libsndfile reads) and converts it to `sampleRate`. Mono and stereo
// only. nullptr with `error` filled on failure.
PcmBufferRef decodeAudioFile(const std::string& path, double sampleRate,
                             AudioError* error = nullptr);

}  // namespace platform
