// Tap-to-microphone latency: from the start of a voice (what a tap on the
// board does) to the first non-silent sample that a client recording
// "Quellio 虚拟麦克风" can read, through a private PulseAudio server started
// here (null sinks paced by its clock). Prints the median and the 99th
// percentile over the taps and the latency the engine asks of the server.
// The listener reads in 64-frame fragments, as a low-latency client does.
//
//   bench_virtual_mic_latency [--taps N]
//
// --existing measures against the sound server the environment names
// (the desktop's PipeWire or PulseAudio) instead.
#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/PulseConnection.h"
#include "audio/VirtualDevices.h"
#include "support/PulseServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Reads quellio_mic and notes when sound arrives after it was armed.
struct Listener {
    std::atomic<bool> armed{false};
    std::atomic<int64_t> heardAt{0};  // steady clock, ns
    std::atomic<int64_t> lastSoundAt{0};

    static void read(pa_stream* s, size_t, void* userdata) {
        auto* self = static_cast<Listener*>(userdata);
        const void* data;
        size_t n;
        while (pa_stream_readable_size(s) > 0) {
            if (pa_stream_peek(s, &data, &n) < 0 || n == 0) return;
            bool sound = false;
            if (data) {
                const auto* f = static_cast<const float*>(data);
                for (size_t i = 0; i < n / sizeof(float) && !sound; ++i)
                    sound = std::fabs(f[i]) > 1e-3f;
            }
            pa_stream_drop(s);
            if (!sound) continue;
            const int64_t now = Clock::now().time_since_epoch().count();
            self->lastSoundAt = now;
            if (self->armed.exchange(false)) self->heardAt = now;
        }
    }
};

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    int taps = 200;
    bool existing = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--taps" && i + 1 < argc) taps = std::atoi(argv[++i]);
        if (a == "--existing") existing = true;
    }
    // A private server of the tests' kind unless asked to use the running one.
    std::optional<testsupport::PulseServer> server;
    if (!existing) server.emplace();
    if (server && !server->ready()) {
        std::fprintf(stderr, "cannot start pulseaudio\n");
        return 1;
    }
    platform::VirtualDevices devices;
    platform::AudioError error;
    if (!devices.create(&error)) {
        std::fprintf(stderr, "%s\n", error.message.c_str());
        return 1;
    }

    platform::RunLoop loop;
    platform::AudioEngine engine(loop);
    platform::AudioEngineOptions options;
    options.backend = platform::AudioEngineOptions::Backend::PulseAudio;
    options.route.streamSink = platform::VirtualDevices::kEffectsSink;
    if (!engine.start(options, &error)) {
        std::fprintf(stderr, "%s\n", error.message.c_str());
        return 1;
    }
    // A click of 20 ms: loud from its first sample.
    const std::string clickPath = (std::filesystem::temp_directory_path() /
                                   ("quellio-click-" + std::to_string(getpid()) + ".raw"))
                                      .string();
    std::string cmd =
        "sox -n -r 44100 -c 1 -b 16 '" + clickPath + ".wav' synth 0.02 square 500 vol 0.5";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "sox failed\n");
        return 1;
    }
    const auto sound = engine.sound(clickPath + ".wav", &error);
    std::remove((clickPath + ".wav").c_str());
    if (!sound) {
        std::fprintf(stderr, "%s\n", error.message.c_str());
        return 1;
    }

    // The listener: a client of its own, as OBS or a browser would be.
    auto connection = platform::PulseConnection::connect("bench listener", &error);
    Listener listener;
    pa_stream* stream = nullptr;
    {
        platform::PulseConnection::Lock lock(*connection);
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 44100, 1};
        stream = pa_stream_new(connection->context(), "bench", &format, nullptr);
        pa_stream_set_read_callback(stream, &Listener::read, &listener);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.fragsize = 64 * sizeof(float);
        pa_stream_connect_record(stream, platform::VirtualDevices::kMicrophoneSource, &attr,
                                 PA_STREAM_ADJUST_LATENCY);
    }

    auto quiet = [&] {
        // Until the microphone has been silent for 50 ms.
        for (;;) {
            loop.runUntilIdle();
            const auto since =
                Clock::now().time_since_epoch().count() - listener.lastSoundAt.load();
            if (since > 50'000'000) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    // The listener's stream settles in.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    quiet();
    std::vector<double> ms;
    for (int i = 0; i < taps; ++i) {
        listener.heardAt = 0;
        listener.armed = true;
        const auto tap = Clock::now();
        if (!engine.startVoice(sound, 0, 1.0f, nullptr, &error)) {
            std::fprintf(stderr, "%s\n", error.message.c_str());
            return 1;
        }
        const auto deadline = tap + std::chrono::seconds(2);
        while (listener.heardAt.load() == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (listener.heardAt.load() == 0) {
            std::fprintf(stderr, "tap %d never reached the microphone\n", i);
            return 1;
        }
        ms.push_back((listener.heardAt.load() - tap.time_since_epoch().count()) / 1e6);
        quiet();
        // Spread the taps over the output's period.
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + (i * 397) % 3000));
    }
    {
        platform::PulseConnection::Lock lock(*connection);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    const double requested = engine.requestedLatency();
    engine.stop();
    std::printf("virtual microphone latency over %d taps (tap to first sample readable at %s)\n",
                taps, platform::VirtualDevices::kMicrophoneSource);
    std::printf("  requested output latency: %.1f ms\n", requested * 1000);
    std::printf("  median: %.1f ms\n  p99:    %.1f ms\n  max:    %.1f ms\n", percentile(ms, 0.5),
                percentile(ms, 0.99), percentile(ms, 1.0));
    return 0;
}
