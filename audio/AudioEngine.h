#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "audio/AudioBackend.h"
#include "audio/AudioMixer.h"
#include "audio/PulseAudioBackend.h"
#include "audio/SoundCache.h"
#include "foundation/RunLoop.h"

namespace platform {

// Takes recorded samples on the input's audio thread: realtime rules apply.
class AudioCaptureSink {
public:
    virtual ~AudioCaptureSink() = default;
    virtual void captured(const float* mono, size_t frames) noexcept = 0;
};

struct AudioEngineOptions {
    enum class Backend {
        Automatic,  // the sound server when one answers, else PortAudio
        PulseAudio,
        PortAudio,
        Null,
    };
    Backend backend = Backend::Automatic;
    // Outputs, volumes and input when playing through the sound server.
    PulseRoute route;
    // PortAudio device name (see matchAudioDevice); empty: system default.
    std::string outputDevice;
    // Input device, by name or part of its qualified name; empty: default.
    std::string inputDevice;
    double sampleRate = 44100;
    unsigned framesPerBuffer = 128;

    // Defaults, with the devices from QUELLIO_OUTPUT_DEVICE and
    // QUELLIO_INPUT_DEVICE (PortAudio names: they select PortAudio), the
    // backend from QUELLIO_AUDIO_BACKEND ("null", "pulse", "portaudio") and
    // the block size from QUELLIO_BUFFER_FRAMES.
    static AudioEngineOptions fromEnvironment();
    // Defaults through PortAudio (the system's default devices).
    static AudioEngineOptions portAudio() {
        AudioEngineOptions options;
        options.backend = Backend::PortAudio;
        return options;
    }
    // Fills in what the environment sets over `self`.
    AudioEngineOptions withEnvironment() const;
};

// The process's sound output: one stream opened at start and kept open, a
// mixer fed through lock-free queues and a cache of decoded sounds. Players
// start voices on it; ended voices are reported on the main loop.
//
// The program has one, shared(), never released. The application starts it
// at launch so that no device is opened on a tap, and stops it when it quits
// so the last buffers play out; anything that plays before the start starts
// it as startIfNeeded() does. Tests call startNull() first (or set
// QUELLIO_AUDIO_BACKEND=null) and never touch a device.
//
// Starting, stopping and voices belong to the main loop's thread; sound()
// and preload() may be called from any thread.
class AudioEngine final : private AudioRenderer {
public:
    explicit AudioEngine(RunLoop& mainLoop = RunLoop::main(), double sampleRate = 44100);
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    static AudioEngine& shared();

    // Opens the backend and devices `options` name (Automatic tries the
    // sound server, then PortAudio). False with `error` if it cannot.
    bool start(const AudioEngineOptions& options, AudioError* error = nullptr);
    // What startIfNeeded() opens; the environment still has the last word.
    void setPreferredOptions(AudioEngineOptions options);
    const AudioEngineOptions& preferredOptions() const { return preferred_; }
    // Runs on `backend` (null backend, or PortAudio built by the caller).
    bool start(std::unique_ptr<AudioBackend> backend, unsigned framesPerBuffer = 128,
               AudioError* error = nullptr);
    // Runs on the null backend, timed by the main loop's clock.
    void startNull();
    // Starts if not running: QUELLIO_AUDIO_BACKEND=null picks the null
    // backend; otherwise the preferred options, then the system default,
    // then the null backend, so that a machine without sound still runs.
    void startIfNeeded();
    // Closes the stream; voices still playing end as stopped.
    void stop();

    bool isRunning() const;
    std::string outputName() const;
    // Whether it plays through the sound server.
    bool usesSoundServer() const;
    // Effects' volume on the stream and monitor outputs (sound server only).
    void setOutputVolumes(float stream, float monitor);
    // The effects' master volume, 0 to 1, over every output and backend;
    // kept across restarts of the engine.
    void setEffectsVolume(float volume);
    float effectsVolume() const { return effectsVolume_; }
    // The output latency the backend asks for, in seconds (0 if unknown).
    double requestedLatency() const;
    // Told on the main loop when an output lost its device: whether it was
    // the monitor, and the device it plays on now (empty: none).
    void setRouteLostHandler(std::function<void(bool monitor, const std::string& nowOn)> handler);
    double sampleRate() const { return sampleRate_; }
    RunLoop& mainLoop() const { return loop_; }

    // Decoded sounds at the engine's rate.
    PcmBufferRef sound(const std::string& path, AudioError* error = nullptr) {
        return cache_->sound(path, error);
    }
    void preload(std::vector<std::string> paths) { SoundCache::preload(cache_, std::move(paths)); }
    const SoundCache& cache() const { return *cache_; }

    // Starts `sound` at `startFrame`; `onEnd` runs on the main loop once the
    // voice has ended (as stopped when the engine stops first). nullptr with
    // `error` when the engine cannot take another voice.
    std::shared_ptr<AudioVoice> startVoice(PcmBufferRef sound, size_t startFrame, float volume,
                                           std::function<void(const AudioVoice&, VoiceEnd)> onEnd,
                                           AudioError* error = nullptr);
    void stopVoice(const std::shared_ptr<AudioVoice>& voice);

    // Whether the running output has an input beside it to record from
    // (starts the engine if needed).
    bool hasInputDevice();
    // Opens the input and hands its samples to `sink` on the input's audio
    // thread until stopCapture(); one capture at a time. False with `error`
    // when there is no input or one runs already.
    bool startCapture(AudioCaptureSink& sink, AudioError* error = nullptr);
    // Stops the input; `sink` is not called after this returns.
    void stopCapture();
    bool isCapturing() const;

    // Called around each render on the audio thread; plain functions, so the
    // benchmark can watch the callback without changing it. Set before start.
    struct RenderHook {
        void (*willRender)(void* context) = nullptr;
        void (*didRender)(void* context, const float* out, size_t frames, int channels) = nullptr;
        void* context = nullptr;
    };
    void setRenderHook(RenderHook hook) { hook_ = hook; }

private:
    void render(float* out, size_t frames) noexcept override;
    void capture(const float* in, size_t frames) noexcept override;
    bool idle() const noexcept override;
    void deliverEndedVoices() override;
    void eventLoop();
    bool queue(const std::shared_ptr<AudioVoice>& voice, bool start);

    RunLoop& loop_;
    const double sampleRate_;
    AudioEngineOptions preferred_ = AudioEngineOptions::fromEnvironment();
    std::function<void(bool, const std::string&)> routeLost_;
    std::shared_ptr<SoundCache> cache_;
    RenderHook hook_;

    mutable std::mutex mutex_;  // everything below except what the callback reads
    std::unique_ptr<AudioBackend> backend_;
    AudioCaptureSink* captureSink_ = nullptr;  // set only while the input is stopped
    std::unique_ptr<AudioMixer> mixer_;
    std::unordered_map<AudioVoice*, std::shared_ptr<AudioVoice>> unended_;
    std::mutex commandMutex_;  // serialises the mixer's producer side
    std::mutex eventMutex_;    // serialises the mixer's event consumer side
    std::thread eventThread_;
    std::condition_variable eventWake_;
    bool stopping_ = false;
    float effectsVolume_ = 1.0f;
};

}  // namespace platform
