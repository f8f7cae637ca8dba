#include "audio/SoundCache.h"

#include <sys/stat.h>

#include "foundation/DispatchQueue.h"

namespace platform {

PcmBufferRef SoundCache::sound(const std::string& path, AudioError* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        evict(path);
        setAudioError(error, AudioError::Code::FileUnreadable, path + ": no such file");
        return nullptr;
    }
    const Stamp stamp{static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                      static_cast<int64_t>(st.st_size)};
    {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(path);
        if (it != entries_.end() && it->second.stamp == stamp) return it->second.sound;
    }
    // Decoded outside the lock: a tap must not wait behind a preload.
    PcmBufferRef decoded = decodeAudioFile(path, sampleRate_, error);
    std::lock_guard lock(mutex_);
    if (decoded) {
        entries_[path] = Entry{stamp, decoded};
    } else {
        entries_.erase(path);
    }
    return decoded;
}

void SoundCache::preload(const std::shared_ptr<SoundCache>& cache, std::vector<std::string> paths) {
    globalQueue(QueuePriority::Low).async([cache, paths = std::move(paths)] {
        for (const std::string& path : paths) cache->sound(path);
    });
}

void SoundCache::evict(const std::string& path) {
    std::lock_guard lock(mutex_);
    entries_.erase(path);
}

size_t SoundCache::decodedBytes() const {
    std::lock_guard lock(mutex_);
    size_t bytes = 0;
    for (const auto& [path, entry] : entries_) bytes += entry.sound->bytes();
    return bytes;
}

size_t SoundCache::count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace platform
