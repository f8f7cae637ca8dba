// Tap-to-sound latency: from a tap on the board (playOrStopAtIndexPath) to
// the audio callback that renders the tap's first non-silent frame, on a
// paced device (JACK's dummy driver, 128-frame periods at 44.1 kHz, started
// here under a server name of our own). Also counts allocations made inside
// the callback and prints the memory the decoded catalogue takes.
//
//   bench_playback_latency [--taps N] [--device NAME]
//
// With --device the benchmark plays on that PortAudio device instead of
// starting a JACK server.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioDevices.h"
#include "audio/AudioEngine.h"
#include "audio/PortAudioBackend.h"
#include "core/playback/QELSoundEffectListViewModel.h"

extern char** environ;

// ---- counting allocator: counts what the audio callback allocates ----
namespace {
thread_local bool tInCallback = false;
std::atomic<uint64_t> gCallbackAllocations{0};

void* countedAlloc(std::size_t n) {
    if (tInCallback) gCallbackAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* countedAlignedAlloc(std::size_t n, std::align_val_t a) {
    if (tInCallback) gCallbackAllocations.fetch_add(1, std::memory_order_relaxed);
    const auto align = static_cast<std::size_t>(a);
    if (void* p = std::aligned_alloc(align, (n + align - 1) / align * align)) return p;
    throw std::bad_alloc();
}
void countedFree(void* p) noexcept {
    if (p && tInCallback) gCallbackAllocations.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) {
    return countedAlloc(n);
}
void* operator new[](std::size_t n) {
    return countedAlloc(n);
}
void* operator new(std::size_t n, std::align_val_t a) {
    return countedAlignedAlloc(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return countedAlignedAlloc(n, a);
}
void operator delete(void* p) noexcept {
    countedFree(p);
}
void operator delete[](void* p) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    countedFree(p);
}

namespace {

using Clock = std::chrono::steady_clock;

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// What the callback tells the benchmark, through atomics only.
struct Probe {
    std::atomic<bool> armed{false};
    std::atomic<int64_t> heardAt{0};
    std::atomic<uint64_t> blocks{0};
    std::atomic<uint64_t> silentBlocks{0};  // consecutive
    std::atomic<int64_t> maxRenderNs{0};
    int64_t renderStart = 0;  // callback thread only

    static void willRender(void* self) {
        tInCallback = true;
        static_cast<Probe*>(self)->renderStart = nowNs();
    }
    static void didRender(void* context, const float* out, size_t frames, int channels) {
        auto* self = static_cast<Probe*>(context);
        const int64_t now = nowNs();
        bool silent = true;
        for (size_t i = 0; i < frames * static_cast<size_t>(channels); ++i) {
            if (out[i] != 0.0f) {
                silent = false;
                break;
            }
        }
        if (!silent && self->armed.exchange(false)) self->heardAt.store(now);
        self->silentBlocks.store(silent ? self->silentBlocks.load() + 1 : 0);
        self->blocks.fetch_add(1);
        if (now - self->renderStart > self->maxRenderNs.load())
            self->maxRenderNs.store(now - self->renderStart);
        tInCallback = false;
    }
};

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const double rank = p / 100.0 * static_cast<double>(v.size() - 1);
    const auto lo = static_cast<size_t>(std::floor(rank));
    const auto hi = static_cast<size_t>(std::ceil(rank));
    return v[lo] + (v[hi] - v[lo]) * (rank - static_cast<double>(lo));
}

// A JACK server with the dummy (timer-paced) driver, stopped by its pid.
class JackServer {
public:
    bool start(const std::string& name, unsigned frames) {
        const std::string period = std::to_string(frames);
        std::vector<std::string> args = {"jackd", "-n",    name, "-d",  "dummy",
                                         "-r",    "44100", "-p", period};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawnp(&pid_, "jackd", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0;
    }
    ~JackServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status;
        ::waitpid(pid_, &status, 0);
    }

private:
    pid_t pid_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    int taps = 1000;
    std::string device;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--taps")
            taps = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--device")
            device = argv[i + 1];
    }
    constexpr unsigned kFrames = 128;
    constexpr double kRate = 44100;

    // The catalogue, decoded ahead as the board does it.
    QELSoundEffectListViewModel board;
    const auto provider = board.dataProvider();
    auto& engine = platform::AudioEngine::shared();
    const auto decodeStart = Clock::now();
    std::vector<platform::IndexPath> prompt;  // effects audible within their first block
    double seconds = 0;
    for (int64_t s = 0; s < provider->numberOfSections(); ++s) {
        for (int64_t r = 0; r < provider->numberOfItemsInSection(s); ++r) {
            platform::AudioError error;
            auto pcm = engine.sound(provider->objectAtIndexPath({s, r})->resourcePath(), &error);
            if (!pcm) {
                std::fprintf(stderr, "cannot decode: %s\n", error.message.c_str());
                return 1;
            }
            seconds += pcm->duration();
            size_t first = 0;
            while (first < pcm->samples.size() && pcm->samples[first] == 0.0f) ++first;
            if (first / static_cast<size_t>(pcm->channels) < kFrames / 2) prompt.push_back({s, r});
        }
    }
    const double decodeMs =
        std::chrono::duration<double, std::milli>(Clock::now() - decodeStart).count();
    std::printf(
        "decoded catalogue: %zu sounds, %.1f s of audio, %.2f MiB in memory (float32), decoded in "
        "%.0f ms\n",
        engine.cache().count(), seconds,
        static_cast<double>(engine.cache().decodedBytes()) / (1 << 20), decodeMs);
    if (prompt.empty()) {
        std::fprintf(stderr, "no sound starts audibly within half a block\n");
        return 1;
    }

    JackServer jack;
    if (device.empty()) {
        const std::string name = "quellio-bench-" + std::to_string(::getpid());
        ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        if (!jack.start(name, kFrames)) {
            std::fprintf(stderr, "cannot start jackd\n");
            return 1;
        }
        device = "JACK Audio Connection Kit";
        // The server takes a moment to come up; PortAudio sees it once it has.
        bool seen = false;
        for (int attempt = 0; attempt < 50 && !seen; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            for (const auto& d : platform::listAudioDevices()) seen = seen || d.hostApi == device;
        }
        if (!seen) {
            std::fprintf(stderr, "PortAudio does not see the JACK server\n");
            return 1;
        }
    }

    Probe probe;
    engine.setRenderHook({&Probe::willRender, &Probe::didRender, &probe});
    auto backend = std::make_unique<platform::PortAudioBackend>(device);
    auto* portAudio = backend.get();
    platform::AudioError error;
    if (!engine.start(std::move(backend), kFrames, &error)) {
        std::fprintf(stderr, "cannot open %s: %s\n", device.c_str(), error.message.c_str());
        return 1;
    }
    std::printf(
        "output: %s, %u-frame buffers at %.0f Hz (period %.2f ms), PortAudio output latency %.2f "
        "ms\n",
        engine.outputName().c_str(), kFrames, kRate, kFrames / kRate * 1e3,
        portAudio->outputLatency() * 1e3);

    auto& loop = platform::RunLoop::main();
    auto waitBlocks = [&](uint64_t n) {
        const uint64_t target = probe.blocks.load() + n;
        while (probe.blocks.load() < target)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    };
    waitBlocks(20);  // let the stream settle

    std::mt19937 rng(4);
    std::uniform_int_distribution<size_t> pick(0, prompt.size() - 1);
    std::uniform_int_distribution<int> phase(0, static_cast<int>(kFrames / kRate * 1e6));
    std::vector<double> latencies;
    int missed = 0;
    for (int i = 0; i < taps; ++i) {
        probe.heardAt.store(0);
        probe.armed.store(true);
        const int64_t tapped = nowNs();
        board.playOrStopAtIndexPath(prompt[pick(rng)]);
        const int64_t deadline = tapped + 1'000'000'000;
        while (probe.heardAt.load() == 0 && nowNs() < deadline) std::this_thread::yield();
        if (probe.heardAt.load() == 0) {
            probe.armed.store(false);
            ++missed;
        } else {
            latencies.push_back(static_cast<double>(probe.heardAt.load() - tapped) / 1e6);
        }
        board.stop();
        loop.runUntilIdle();
        // Wait for silence, then tap at a random point of the period.
        while (probe.silentBlocks.load() < 2)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(std::chrono::microseconds(phase(rng)));
    }
    engine.stop();

    if (latencies.empty()) {
        std::fprintf(stderr, "no tap was heard\n");
        return 1;
    }
    std::printf(
        "tap-to-sound over %zu taps (%d missed): median %.3f ms, p99 %.3f ms, min %.3f ms, max "
        "%.3f ms\n",
        latencies.size(), missed, percentile(latencies, 50), percentile(latencies, 99),
        *std::min_element(latencies.begin(), latencies.end()),
        *std::max_element(latencies.begin(), latencies.end()));
    std::printf("target: median below one period (%.2f ms): %s\n", kFrames / kRate * 1e3,
                percentile(latencies, 50) < kFrames / kRate * 1e3 ? "met" : "MISSED");
    std::printf(
        "callback: %llu blocks, longest render %.1f us, allocations inside the callback: %llu\n",
        static_cast<unsigned long long>(probe.blocks.load()),
        static_cast<double>(probe.maxRenderNs.load()) / 1e3,
        static_cast<unsigned long long>(gCallbackAllocations.load()));
    return 0;
}
