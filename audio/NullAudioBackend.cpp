#include "audio/NullAudioBackend.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace platform {

namespace {
constexpr auto kTick = std::chrono::milliseconds(10);
}  // namespace

struct NullAudioBackend::State : std::enable_shared_from_this<State> {
    RunLoop& loop;
    int channels;
    int64_t rate = 44100;
    unsigned block = 128;
    AudioRenderer* renderer = nullptr;
    const Clock* clock = nullptr;
    Clock::TimePoint origin{};
    int64_t rendered = 0;
    bool recording = false;
    bool tickPending = false;
    std::vector<float> scratch;
    std::vector<float> recorded;
    std::optional<std::vector<float>> input;
    bool capturing = false;
    int64_t captureStart = 0;  // frames since origin when the input started
    int64_t captured = 0;

    State(RunLoop& l, int c) : loop(l), channels(c) {}

    // Hands the input the signal's frames up to `due` (frames since origin).
    void feedInput(int64_t due);

    int64_t framesSinceOrigin(Clock::TimePoint now) const {
        const int64_t ns = std::max<int64_t>(0, (now - origin).count());
        constexpr int64_t kNs = 1'000'000'000;
        return ns / kNs * rate + ns % kNs * rate / kNs;
    }

    // Renders the frames the clock says have played since the last call.
    void catchUp() {
        if (!renderer) return;
        const Clock& c = loop.clock();
        const auto now = c.now();
        if (&c != clock || now < origin) {  // a new clock: start its timeline here
            clock = &c;
            origin = now;
            rendered = 0;
        }
        const int64_t due = framesSinceOrigin(now);
        renderer->render(scratch.data(), 0);  // apply what was queued even if no time passed
        while (rendered < due) {
            if (renderer->idle() && !recording) {
                rendered = due;  // nothing to hear: skip the silence
                break;
            }
            const auto n = static_cast<size_t>(std::min<int64_t>(block, due - rendered));
            renderer->render(scratch.data(), n);
            if (recording)
                recorded.insert(recorded.end(), scratch.begin(), scratch.begin() + n * channels);
            rendered += static_cast<int64_t>(n);
        }
        if (capturing) feedInput(due);
        renderer->deliverEndedVoices();
        // While something plays or records, come back as a device's callback would, so
        // that positions move and ends are seen whenever the clock moves.
        if ((!renderer->idle() || capturing) && !tickPending) {
            tickPending = true;
            loop.postAfter(kTick, [weak = weak_from_this()] {
                if (auto s = weak.lock()) {
                    s->tickPending = false;
                    s->catchUp();
                }
            });
        }
    }
};

void NullAudioBackend::State::feedInput(int64_t due) {
    const std::vector<float>& signal = *input;
    while (captureStart + captured < due) {
        const auto n = static_cast<size_t>(std::min<int64_t>(block, due - captureStart - captured));
        const auto at = static_cast<size_t>(captured);
        if (at + n <= signal.size()) {
            renderer->capture(signal.data() + at, n);
        } else {
            std::fill(scratch.begin(), scratch.end(), 0.0f);
            if (at < signal.size())
                std::copy(signal.begin() + static_cast<ptrdiff_t>(at), signal.end(),
                          scratch.begin());
            renderer->capture(scratch.data(), n);
        }
        captured += static_cast<int64_t>(n);
    }
}

NullAudioBackend::NullAudioBackend(RunLoop& loop, int channels)
    : state_(std::make_shared<State>(loop, std::clamp(channels, 1, 2))) {}

NullAudioBackend::~NullAudioBackend() {
    close();
}

std::optional<int> NullAudioBackend::open(double sampleRate, unsigned framesPerBuffer,
                                          AudioError*) {
    state_->rate = std::llround(sampleRate);
    state_->block = std::max(1u, framesPerBuffer);
    state_->scratch.assign(static_cast<size_t>(state_->block) * state_->channels, 0.0f);
    return state_->channels;
}

bool NullAudioBackend::start(AudioRenderer& renderer, AudioError*) {
    state_->renderer = &renderer;
    state_->clock = nullptr;  // anchors on the first catch-up
    state_->catchUp();
    return true;
}

void NullAudioBackend::close() {
    if (!state_->renderer) return;
    state_->catchUp();
    state_->renderer = nullptr;
}

void NullAudioBackend::willQueueCommand() {
    state_->catchUp();
}

void NullAudioBackend::didQueueCommand() {
    state_->loop.post([weak = std::weak_ptr<State>(state_)] {
        if (auto s = weak.lock()) s->catchUp();
    });
}

void NullAudioBackend::setInputSignal(std::vector<float> mono) {
    state_->input = std::move(mono);
}

bool NullAudioBackend::hasInput() const {
    return state_->input.has_value();
}

bool NullAudioBackend::startInput(AudioError* error) {
    if (!state_->input || !state_->renderer) return AudioBackend::startInput(error);
    state_->catchUp();  // anchors the clock; the input starts now
    state_->capturing = true;
    state_->captured = 0;
    state_->captureStart = state_->framesSinceOrigin(state_->loop.clock().now());
    state_->catchUp();  // schedules the ticks that feed it
    return true;
}

void NullAudioBackend::stopInput() {
    if (!state_->capturing) return;
    state_->catchUp();
    state_->capturing = false;
}

void NullAudioBackend::setRecording(bool on) {
    state_->recording = on;
}

const std::vector<float>& NullAudioBackend::recorded() const {
    return state_->recorded;
}

}  // namespace platform
