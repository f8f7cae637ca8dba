#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

namespace platform {

// Lock-free single-producer single-consumer ring of samples, for moving
// audio out of a realtime callback in blocks. Allocates only when made.
class SampleRing {
public:
    // Holds `capacity` samples, rounded up to a power of two.
    explicit SampleRing(size_t capacity) {
        size_t size = 2;
        while (size < capacity) size *= 2;
        buffer_.assign(size, 0.0f);
    }

    // Producer: writes what fits and returns how many samples that was.
    size_t write(const float* data, size_t count) noexcept {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        const size_t free = buffer_.size() - (tail - head_.load(std::memory_order_acquire));
        const size_t n = std::min(count, free);
        for (size_t i = 0; i < n; ++i) buffer_[(tail + i) & (buffer_.size() - 1)] = data[i];
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

    // Consumer: reads up to `count` samples and returns how many it read.
    size_t read(float* data, size_t count) noexcept {
        const size_t head = head_.load(std::memory_order_relaxed);
        const size_t ready = tail_.load(std::memory_order_acquire) - head;
        const size_t n = std::min(count, ready);
        for (size_t i = 0; i < n; ++i) data[i] = buffer_[(head + i) & (buffer_.size() - 1)];
        head_.store(head + n, std::memory_order_release);
        return n;
    }

    // Consumer: drops up to `count` of the oldest samples.
    size_t discard(size_t count) noexcept {
        const size_t head = head_.load(std::memory_order_relaxed);
        const size_t n = std::min(count, tail_.load(std::memory_order_acquire) - head);
        head_.store(head + n, std::memory_order_release);
        return n;
    }

    // Consumer: how many samples are ready to read.
    size_t available() const noexcept {
        return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_relaxed);
    }

    size_t capacity() const { return buffer_.size(); }

private:
    std::vector<float> buffer_;
    alignas(64) std::atomic<size_t> head_{0};
    alignas(64) std::atomic<size_t> tail_{0};
};

}  // namespace platform
