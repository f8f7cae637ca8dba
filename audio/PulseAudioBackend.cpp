#include "audio/PulseAudioBackend.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>

#include "audio/PulseConnection.h"
#include "audio/SampleRing.h"

namespace platform {

namespace {

constexpr int kChannels = 2;
constexpr size_t kFrameBytes = kChannels * sizeof(float);
// Blocks of the stream output the server may ask ahead: the latency it
// asks of the sink. Small enough for a live stream, large enough that a
// busy desktop does not drop out.
constexpr unsigned kBlocksAhead = 4;
// Blocks the monitor output plays behind the stream output.
constexpr unsigned kMonitorCushionBlocks = 4;
// About 0.2 s of stereo at 44.1 kHz: more than any two sinks drift apart
// between the monitor's requests.
constexpr size_t kMonitorRingSamples = 16384;

void scale(float* samples, size_t count, float volume) noexcept {
    if (volume == 1.0f) return;
    for (size_t i = 0; i < count; ++i) samples[i] *= volume;
}

}  // namespace

struct PulseAudioBackend::Output {
    PulseAudioBackend* owner = nullptr;
    bool isMonitor = false;
    std::string requestedSink;
    pa_stream* stream = nullptr;
    std::atomic<AudioRenderer*> renderer{nullptr};  // the stream output only
    std::atomic<float> volume{1.0f};
    Output* monitor = nullptr;         // the stream output copies its mix there
    std::unique_ptr<SampleRing> ring;  // the monitor output plays from it
    size_t cushion = 0;                // samples the monitor keeps ahead
    bool primed = false;               // the ring holds the cushion
    bool ready = false;                // lost only counts once it played
    bool lost = false;

    // The server wants `nbytes` more; realtime rules apply from here on.
    static void write(pa_stream* s, size_t nbytes, void* userdata) {
        auto* self = static_cast<Output*>(userdata);
        while (nbytes >= kFrameBytes) {
            void* data = nullptr;
            size_t n = nbytes;
            if (pa_stream_begin_write(s, &data, &n) < 0 || !data) return;
            n -= n % kFrameBytes;
            if (n == 0) {
                pa_stream_cancel_write(s);
                return;
            }
            auto* out = static_cast<float*>(data);
            const size_t frames = n / kFrameBytes;
            if (self->isMonitor) {
                // The two outputs are asked for data at their own moments:
                // playing a little behind the stream output keeps a late
                // block of it from cutting a hole into the monitor's sound.
                const size_t wanted = frames * kChannels;
                // After the monitor stalled, what waits is old: keep only
                // the newest, so it plays on time again.
                const size_t ready = self->ring->available();
                if (ready > 2 * (self->cushion + wanted)) {
                    self->ring->discard(ready - (self->cushion + wanted));
                }
                if (!self->primed) self->primed = self->ring->available() >= self->cushion + wanted;
                const size_t got = self->primed ? self->ring->read(out, wanted) : 0;
                if (got < wanted) self->primed = false;
                std::memset(out + got, 0, (wanted - got) * sizeof(float));
            } else if (AudioRenderer* r = self->renderer.load(std::memory_order_acquire)) {
                r->render(out, frames);
                if (self->monitor) self->monitor->ring->write(out, frames * kChannels);
            } else {
                std::memset(out, 0, n);
            }
            scale(out, frames * kChannels, self->volume.load(std::memory_order_relaxed));
            pa_stream_write(s, data, n, nullptr, 0, PA_SEEK_RELATIVE);
            nbytes -= n;
        }
    }

    static void stateChanged(pa_stream* s, void* userdata) {
        auto* self = static_cast<Output*>(userdata);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && self->ready &&
            !self->lost) {
            self->lost = true;
            if (self->owner->routeLost_) self->owner->routeLost_(self->isMonitor, "");
        }
        pa_threaded_mainloop_signal(self->owner->connection_->mainloop(), 0);
    }

    static void moved(pa_stream* s, void* userdata) {
        auto* self = static_cast<Output*>(userdata);
        const char* now = pa_stream_get_device_name(s);
        if (self->owner->routeLost_) self->owner->routeLost_(self->isMonitor, now ? now : "");
    }
};

struct PulseAudioBackend::Input {
    pa_stream* stream = nullptr;
    AudioRenderer* renderer = nullptr;

    static void read(pa_stream* s, size_t, void* userdata) {
        auto* self = static_cast<Input*>(userdata);
        const void* data = nullptr;
        size_t n = 0;
        while (pa_stream_readable_size(s) > 0) {
            if (pa_stream_peek(s, &data, &n) < 0 || n == 0) return;
            // A hole (data null) carries no samples; it is only dropped.
            if (data) self->renderer->capture(static_cast<const float*>(data), n / sizeof(float));
            pa_stream_drop(s);
        }
    }
};

PulseAudioBackend::PulseAudioBackend(PulseRoute route) : route_(std::move(route)) {}

PulseAudioBackend::~PulseAudioBackend() {
    close();
}

bool PulseAudioBackend::openOutput(Output& output, const std::string& sink, const char* name,
                                   AudioError* error) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(sampleRate_), kChannels};
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
    output.stream =
        pa_stream_new_with_proplist(connection_->context(), name, &format, nullptr, props);
    pa_proplist_free(props);
    if (!output.stream) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      std::string("PulseAudio: cannot make a stream: ") +
                          pa_strerror(pa_context_errno(connection_->context())));
        return false;
    }
    output.requestedSink = sink;
    pa_stream_set_write_callback(output.stream, &Output::write, &output);
    pa_stream_set_state_callback(output.stream, &Output::stateChanged, &output);
    const uint32_t block = framesPerBuffer_ * kFrameBytes;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = block * kBlocksAhead;
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = block;
    attr.fragsize = static_cast<uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
    if (pa_stream_connect_playback(output.stream, sink.empty() ? nullptr : sink.c_str(), &attr,
                                   flags, nullptr, nullptr) < 0) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      "PulseAudio: cannot play on " + (sink.empty() ? "the default" : sink) + ": " +
                          pa_strerror(pa_context_errno(connection_->context())));
        return false;
    }
    pa_stream_state_t state;
    while ((state = pa_stream_get_state(output.stream)) == PA_STREAM_CREATING) {
        pa_threaded_mainloop_wait(connection_->mainloop());
    }
    if (state != PA_STREAM_READY) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      "PulseAudio: no output " + (sink.empty() ? "default" : "\"" + sink + "\"") +
                          ": " + pa_strerror(pa_context_errno(connection_->context())));
        return false;
    }
    output.ready = true;
    if (isQuellioDeviceName(sink)) {
        // A sink made a moment ago still sleeps through the long first
        // period it chose without clients; suspending and resuming it makes
        // it wake for our latency now rather than up to two seconds later.
        auto done = [](pa_context*, int, void* userdata) {
            static_cast<PulseConnection*>(userdata)->signal();
        };
        connection_->await(pa_context_suspend_sink_by_name(connection_->context(), sink.c_str(), 1,
                                                           done, connection_.get()));
        connection_->await(pa_context_suspend_sink_by_name(connection_->context(), sink.c_str(), 0,
                                                           done, connection_.get()));
    }
    // Only moves after it ran once are news.
    pa_stream_set_moved_callback(output.stream, &Output::moved, &output);
    return true;
}

std::optional<int> PulseAudioBackend::open(double sampleRate, unsigned framesPerBuffer,
                                           AudioError* error) {
    close();
    sampleRate_ = sampleRate;
    framesPerBuffer_ = framesPerBuffer;
    connection_ = PulseConnection::connect("Quellio", error);
    if (!connection_) return std::nullopt;
    stream_ = std::make_unique<Output>();
    stream_->owner = this;
    stream_->volume = route_.streamVolume;
    if (route_.monitor) {
        monitor_ = std::make_unique<Output>();
        monitor_->owner = this;
        monitor_->isMonitor = true;
        monitor_->volume = route_.monitorVolume;
        monitor_->cushion = size_t{framesPerBuffer} * kMonitorCushionBlocks * kChannels;
        // Room for the cushion and what either output may ask at once, twice.
        monitor_->ring =
            std::make_unique<SampleRing>(std::max(kMonitorRingSamples, 4 * monitor_->cushion));
        stream_->monitor = monitor_.get();
    }
    bool ok;
    {
        PulseConnection::Lock lock(*connection_);
        ok = openOutput(*stream_, route_.streamSink, "Quellio 音效", error) &&
             (!monitor_ || openOutput(*monitor_, route_.monitorSink, "Quellio 监听", error));
    }
    if (!ok) {
        close();
        return std::nullopt;
    }
    return kChannels;
}

bool PulseAudioBackend::start(AudioRenderer& renderer, AudioError* error) {
    if (!stream_) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "the output is not open");
        return false;
    }
    stream_->renderer.store(&renderer, std::memory_order_release);
    return true;
}

void PulseAudioBackend::close() {
    stopInput();
    if (!connection_) return;
    {
        PulseConnection::Lock lock(*connection_);
        for (Output* o : {stream_.get(), monitor_.get()}) {
            if (!o || !o->stream) continue;
            pa_stream_set_write_callback(o->stream, nullptr, nullptr);
            pa_stream_set_state_callback(o->stream, nullptr, nullptr);
            pa_stream_set_moved_callback(o->stream, nullptr, nullptr);
            pa_stream_disconnect(o->stream);
            pa_stream_unref(o->stream);
            o->stream = nullptr;
        }
    }
    // Stops the loop thread: no callback runs after this.
    connection_.reset();
    stream_.reset();
    monitor_.reset();
}

std::string PulseAudioBackend::outputName() const {
    std::string name = "PulseAudio/" + (streamSinkName().empty() ? "default" : streamSinkName());
    if (monitor_) name += " + " + (monitorSinkName().empty() ? "default" : monitorSinkName());
    return name;
}

bool PulseAudioBackend::startInput(AudioError* error) {
    AudioRenderer* renderer = stream_ ? stream_->renderer.load() : nullptr;
    if (!renderer || !connection_) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "the output is not running");
        return false;
    }
    stopInput();
    auto input = std::make_unique<Input>();
    input->renderer = renderer;
    PulseConnection::Lock lock(*connection_);
    const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(sampleRate_), 1};
    input->stream = pa_stream_new(connection_->context(), "Quellio 录音", &format, nullptr);
    if (!input->stream) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "PulseAudio: no input stream");
        return false;
    }
    pa_stream_set_read_callback(input->stream, &Input::read, input.get());
    pa_stream_set_state_callback(
        input->stream,
        [](pa_stream*, void* userdata) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
        },
        connection_->mainloop());
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = framesPerBuffer_ * sizeof(float);
    const std::string& source = route_.inputSource;
    pa_stream_state_t state = PA_STREAM_FAILED;
    if (pa_stream_connect_record(input->stream, source.empty() ? nullptr : source.c_str(), &attr,
                                 PA_STREAM_ADJUST_LATENCY) == 0) {
        while ((state = pa_stream_get_state(input->stream)) == PA_STREAM_CREATING) {
            pa_threaded_mainloop_wait(connection_->mainloop());
        }
    }
    if (state != PA_STREAM_READY) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      "PulseAudio: no input " +
                          (source.empty() ? "default" : "\"" + source + "\"") + ": " +
                          pa_strerror(pa_context_errno(connection_->context())));
        pa_stream_set_read_callback(input->stream, nullptr, nullptr);
        pa_stream_set_state_callback(input->stream, nullptr, nullptr);
        pa_stream_unref(input->stream);
        return false;
    }
    input_ = std::move(input);
    return true;
}

void PulseAudioBackend::stopInput() {
    if (!input_) return;
    if (connection_) {
        PulseConnection::Lock lock(*connection_);
        pa_stream_set_read_callback(input_->stream, nullptr, nullptr);
        pa_stream_set_state_callback(input_->stream, nullptr, nullptr);
        pa_stream_disconnect(input_->stream);
        pa_stream_unref(input_->stream);
    }
    input_.reset();
}

std::string PulseAudioBackend::inputName() const {
    return "PulseAudio/" + (route_.inputSource.empty() ? "default" : route_.inputSource);
}

void PulseAudioBackend::setVolumes(float stream, float monitor) {
    route_.streamVolume = stream;
    route_.monitorVolume = monitor;
    if (stream_) stream_->volume.store(stream, std::memory_order_relaxed);
    if (monitor_) monitor_->volume.store(monitor, std::memory_order_relaxed);
}

double PulseAudioBackend::requestedLatency() const {
    return framesPerBuffer_ * kBlocksAhead / sampleRate_;
}

namespace {

std::string deviceOf(const PulseConnection* connection, pa_stream* stream) {
    if (!connection || !stream) return "";
    PulseConnection::Lock lock(*connection);
    const char* name = pa_stream_get_device_name(stream);
    return name ? name : "";
}

}  // namespace

std::string PulseAudioBackend::streamSinkName() const {
    return deviceOf(connection_.get(), stream_ ? stream_->stream : nullptr);
}

std::string PulseAudioBackend::monitorSinkName() const {
    return deviceOf(connection_.get(), monitor_ ? monitor_->stream : nullptr);
}

void PulseAudioBackend::setRouteLost(
    std::function<void(bool monitor, const std::string& nowOn)> handler) {
    routeLost_ = std::move(handler);
}

}  // namespace platform
