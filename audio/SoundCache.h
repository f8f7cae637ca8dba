#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "audio/AudioFile.h"

namespace platform {

// Decoded sounds by path, so a tap only looks one up. An entry is decoded
// again when its file changes (a replaced recording keeps its name).
class SoundCache {
public:
    explicit SoundCache(double sampleRate) : sampleRate_(sampleRate) {}

    // The decoded sound of `path`, decoding it on a miss. Thread-safe.
    PcmBufferRef sound(const std::string& path, AudioError* error = nullptr);
    // Decodes `paths` on a background queue; failures wait for a play to
    // report them.
    static void preload(const std::shared_ptr<SoundCache>& cache, std::vector<std::string> paths);

    void evict(const std::string& path);
    size_t decodedBytes() const;
    size_t count() const;
    double sampleRate() const { return sampleRate_; }

private:
    struct Stamp {
        int64_t modified = 0;
        int64_t size = -1;
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };
    struct Entry {
        Stamp stamp;
        PcmBufferRef sound;
    };

    const double sampleRate_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace platform
