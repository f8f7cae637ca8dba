#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioError.h"

namespace platform {

// Stream description of a block of samples, field for field as the
// platform's audio stream description.
struct AudioStreamDescription {
    static constexpr uint32_t kFormatLinearPCM = 0x6C70636D;  // 'lpcm'
    static constexpr uint32_t kFlagIsSignedInteger = 1u << 2;
    static constexpr uint32_t kFlagIsPacked = 1u << 3;

    double sampleRate = 0;
    uint32_t formatID = 0;
    uint32_t formatFlags = 0;
    uint32_t bytesPerPacket = 0;
    uint32_t framesPerPacket = 0;
    uint32_t bytesPerFrame = 0;
    uint32_t channelsPerFrame = 0;
    uint32_t bitsPerChannel = 0;
    uint32_t reserved = 0;
};

// One block read from a file: interleaved little-endian 16-bit samples.
struct AudioSampleBlock {
    AudioStreamDescription description;
    std::vector<uint8_t> bytes;
};

// Reads the samples of an audio file block by block, as the platform's asset
// reader does. Whatever libsndfile can decode comes out as 16-bit linear
// PCM at the file's own rate and channel count.
class AudioAssetReader {
public:
    enum class Status { Unknown, Reading, Completed, Failed, Cancelled };

    // A reader over `path`; nullptr with `error` when it is not a readable
    // audio file.
    static std::unique_ptr<AudioAssetReader> open(const std::string& path,
                                                  AudioError* error = nullptr);
    virtual ~AudioAssetReader() = default;

    virtual bool startReading() = 0;
    // The next block, or nullopt at the end (Completed) or on a read error
    // (Failed, with error()).
    virtual std::optional<AudioSampleBlock> copyNextSampleBuffer() = 0;
    virtual Status status() const = 0;
    virtual std::string error() const = 0;
};

}  // namespace platform
