#include "audio/AudioEngine.h"

#include <algorithm>
#include <cstdlib>

#include "audio/NullAudioBackend.h"
#include "audio/PortAudioBackend.h"
#include "foundation/DebugLog.h"

namespace platform {

namespace {

// Often enough that a sound's end reaches the screen within a frame or so.
constexpr auto kEventPollInterval = std::chrono::milliseconds(5);

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

AudioEngineOptions AudioEngineOptions::fromEnvironment() {
    return AudioEngineOptions().withEnvironment();
}

AudioEngineOptions AudioEngineOptions::withEnvironment() const {
    AudioEngineOptions options = *this;
    const std::string output = environment("QUELLIO_OUTPUT_DEVICE");
    const std::string input = environment("QUELLIO_INPUT_DEVICE");
    if (!output.empty()) options.outputDevice = output;
    if (!input.empty()) options.inputDevice = input;
    // A PortAudio device named from outside means PortAudio, as it always did.
    if (!output.empty() && options.backend == Backend::Automatic) {
        options.backend = Backend::PortAudio;
    }
    // Larger blocks for a machine that cannot keep up with the default.
    if (const std::string frames = environment("QUELLIO_BUFFER_FRAMES"); !frames.empty()) {
        const long n = std::strtol(frames.c_str(), nullptr, 10);
        if (n >= 32 && n <= 8192) options.framesPerBuffer = static_cast<unsigned>(n);
    }
    const std::string backend = environment("QUELLIO_AUDIO_BACKEND");
    if (backend == "null") options.backend = Backend::Null;
    if (backend == "pulse") options.backend = Backend::PulseAudio;
    if (backend == "portaudio") options.backend = Backend::PortAudio;
    return options;
}

AudioEngine::AudioEngine(RunLoop& mainLoop, double sampleRate)
    : loop_(mainLoop), sampleRate_(sampleRate), cache_(std::make_shared<SoundCache>(sampleRate)) {}

AudioEngine::~AudioEngine() {
    stop();
}

AudioEngine& AudioEngine::shared() {
    // Never destroyed: players held by other long-lived objects may still
    // stop their voices while the process exits.
    static AudioEngine* engine = new AudioEngine(RunLoop::main());
    return *engine;
}

bool AudioEngine::start(const AudioEngineOptions& options, AudioError* error) {
    using Backend = AudioEngineOptions::Backend;
    // A PortAudio device by name means PortAudio.
    const Backend backend = options.backend == Backend::Automatic && !options.outputDevice.empty()
                                ? Backend::PortAudio
                                : options.backend;
    switch (backend) {
        case Backend::Null:
            startNull();
            return true;
        case Backend::PortAudio:
            break;
        case Backend::PulseAudio:
        case Backend::Automatic: {
            auto tryRoute = [&](const PulseRoute& route, AudioError* failure) {
                auto pulse = std::make_unique<PulseAudioBackend>(route);
                // Copied, so a report that arrives after the engine is gone is harmless.
                pulse->setRouteLost(
                    [loop = &loop_, handler = routeLost_](bool monitor, const std::string& nowOn) {
                        if (handler)
                            loop->post([handler, monitor, nowOn] { handler(monitor, nowOn); });
                    });
                return start(std::move(pulse), options.framesPerBuffer, failure);
            };
            AudioError pulseError;
            if (tryRoute(options.route, &pulseError)) return true;
            // A device that has gone: the server's defaults, at the same volumes.
            const bool serverAnswered = pulseError.message.rfind("PulseAudio: no ", 0) == 0;
            if (serverAnswered) {
                QEL_DEBUG_ERROR(pulseError.message);
                PulseRoute defaults;
                defaults.streamVolume = options.route.streamVolume;
                if (tryRoute(defaults, &pulseError)) return true;
            }
            if (backend == Backend::PulseAudio) {
                if (error) *error = pulseError;
                return false;
            }
            QEL_DEBUG_ERROR(pulseError.message);
            break;
        }
    }
    return start(std::make_unique<PortAudioBackend>(options.outputDevice, options.inputDevice),
                 options.framesPerBuffer, error);
}

void AudioEngine::setPreferredOptions(AudioEngineOptions options) {
    preferred_ = std::move(options);
}

bool AudioEngine::usesSoundServer() const {
    return dynamic_cast<const PulseAudioBackend*>(backend_.get()) != nullptr;
}

void AudioEngine::setOutputVolumes(float stream, float monitor) {
    preferred_.route.streamVolume = stream;
    preferred_.route.monitorVolume = monitor;
    if (auto* pulse = dynamic_cast<PulseAudioBackend*>(backend_.get())) {
        pulse->setVolumes(stream, monitor);
    }
}

void AudioEngine::setEffectsVolume(float volume) {
    effectsVolume_ = std::clamp(volume, 0.0f, 1.0f);
    if (mixer_) mixer_->setMasterVolume(effectsVolume_);
}

double AudioEngine::requestedLatency() const {
    if (auto* pulse = dynamic_cast<const PulseAudioBackend*>(backend_.get())) {
        return pulse->requestedLatency();
    }
    return 0;
}

void AudioEngine::setRouteLostHandler(
    std::function<void(bool monitor, const std::string& nowOn)> handler) {
    routeLost_ = std::move(handler);
}

bool AudioEngine::start(std::unique_ptr<AudioBackend> backend, unsigned framesPerBuffer,
                        AudioError* error) {
    stop();
    const std::optional<int> channels = backend->open(sampleRate_, framesPerBuffer, error);
    if (!channels) return false;
    mixer_ = std::make_unique<AudioMixer>(*channels);
    mixer_->setMasterVolume(effectsVolume_);
    backend_ = std::move(backend);
    if (backend_->needsEventThread()) {
        stopping_ = false;
        eventThread_ = std::thread([this] { eventLoop(); });
    }
    if (!backend_->start(*this, error)) {
        stop();
        return false;
    }
    return true;
}

void AudioEngine::startNull() {
    start(std::make_unique<NullAudioBackend>(loop_));
}

void AudioEngine::startIfNeeded() {
    if (isRunning()) return;
    AudioEngineOptions options = preferred_.withEnvironment();
    AudioError error;
    if (start(options, &error)) return;
    QEL_DEBUG_ERROR(error.message);
    // The chosen devices, then the defaults of the same backend.
    options.outputDevice.clear();
    options.route = PulseRoute{};
    if (start(options, &error)) return;
    QEL_DEBUG_ERROR(error.message);
    startNull();
}

void AudioEngine::stop() {
    if (!backend_) return;
    stopCapture();
    backend_->close();  // the callback runs no more after this
    if (eventThread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        eventWake_.notify_all();
        eventThread_.join();
    }
    deliverEndedVoices();
    std::vector<std::shared_ptr<AudioVoice>> cut;
    {
        std::lock_guard lock(mutex_);
        for (auto& [raw, voice] : unended_) cut.push_back(std::move(voice));
        unended_.clear();
    }
    if (!cut.empty()) {
        loop_.post([cut = std::move(cut)] {
            for (const auto& voice : cut) {
                if (voice->onEnd) voice->onEnd(*voice, VoiceEnd::Stopped);
            }
        });
    }
    backend_.reset();
    mixer_.reset();
}

bool AudioEngine::isRunning() const {
    return backend_ != nullptr;
}

std::string AudioEngine::outputName() const {
    return backend_ ? backend_->outputName() : "";
}

std::shared_ptr<AudioVoice> AudioEngine::startVoice(
    PcmBufferRef sound, size_t startFrame, float volume,
    std::function<void(const AudioVoice&, VoiceEnd)> onEnd, AudioError* error) {
    startIfNeeded();
    {
        std::lock_guard lock(mutex_);
        if (unended_.size() >= AudioMixer::kMaxVoices) {
            setAudioError(error, AudioError::Code::EngineBusy, "too many sounds at once");
            return nullptr;
        }
    }
    const size_t frames = sound->frames();
    auto voice =
        std::make_shared<AudioVoice>(std::move(sound), std::min(startFrame, frames), volume);
    voice->onEnd = std::move(onEnd);
    if (!queue(voice, true)) {
        setAudioError(error, AudioError::Code::EngineBusy, "the output does not take commands");
        return nullptr;
    }
    {
        std::lock_guard lock(mutex_);
        if (eventThread_.joinable()) eventWake_.notify_all();
    }
    return voice;
}

void AudioEngine::stopVoice(const std::shared_ptr<AudioVoice>& voice) {
    if (!voice || !mixer_) return;
    if (!queue(voice, false)) QEL_DEBUG_ERROR("stop lost: the output does not take commands");
}

bool AudioEngine::queue(const std::shared_ptr<AudioVoice>& voice, bool start) {
    if (!mixer_) return false;
    backend_->willQueueCommand();
    if (start) {
        // Registered before the mixer can see it, so its end always finds it.
        std::lock_guard lock(mutex_);
        unended_[voice.get()] = voice;
    }
    bool queued;
    {
        std::lock_guard lock(commandMutex_);
        queued = start ? mixer_->start(voice.get()) : mixer_->stop(voice.get());
    }
    if (!queued) {
        if (start) {
            std::lock_guard lock(mutex_);
            unended_.erase(voice.get());
        }
        return false;
    }
    backend_->didQueueCommand();
    return true;
}

bool AudioEngine::hasInputDevice() {
    startIfNeeded();
    return backend_ && backend_->hasInput();
}

bool AudioEngine::startCapture(AudioCaptureSink& sink, AudioError* error) {
    startIfNeeded();
    if (captureSink_) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "the input is in use");
        return false;
    }
    captureSink_ = &sink;  // before the input runs: the callback reads it unlocked
    if (!backend_->startInput(error)) {
        captureSink_ = nullptr;
        return false;
    }
    return true;
}

void AudioEngine::stopCapture() {
    if (!captureSink_) return;
    backend_->stopInput();
    captureSink_ = nullptr;
}

bool AudioEngine::isCapturing() const {
    return captureSink_ != nullptr;
}

void AudioEngine::capture(const float* in, size_t frames) noexcept {
    if (captureSink_) captureSink_->captured(in, frames);
}

void AudioEngine::render(float* out, size_t frames) noexcept {
    if (hook_.willRender) hook_.willRender(hook_.context);
    mixer_->render(out, frames);
    if (hook_.didRender) hook_.didRender(hook_.context, out, frames, mixer_->outputChannels());
}

bool AudioEngine::idle() const noexcept {
    return mixer_->idle();
}

void AudioEngine::deliverEndedVoices() {
    std::vector<std::pair<std::shared_ptr<AudioVoice>, VoiceEnd>> ended;
    {
        std::lock_guard consumer(eventMutex_);
        if (!mixer_) return;
        AudioVoice* raw;
        VoiceEnd how;
        while (mixer_->nextEnd(raw, how)) {
            std::lock_guard lock(mutex_);
            auto it = unended_.find(raw);
            if (it == unended_.end()) continue;
            ended.emplace_back(std::move(it->second), how);
            unended_.erase(it);
        }
    }
    if (ended.empty()) return;
    loop_.post([ended = std::move(ended)] {
        for (const auto& [voice, how] : ended) {
            if (voice->onEnd) voice->onEnd(*voice, how);
        }
    });
}

void AudioEngine::eventLoop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (unended_.empty()) {
            eventWake_.wait(lock, [&] { return stopping_ || !unended_.empty(); });
        } else {
            eventWake_.wait_for(lock, kEventPollInterval, [&] { return stopping_; });
        }
        lock.unlock();
        deliverEndedVoices();
        lock.lock();
    }
}

}  // namespace platform
