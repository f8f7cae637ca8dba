#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/AudioEngine.h"
#include "audio/SampleRing.h"

namespace platform {

// What the recorder is asked to write. Only 44.1 kHz mono linear PCM is
// made; quality and bit rate are accepted as the platform's recorder takes
// them and mean nothing for uncompressed audio.
struct AudioRecorderSettings {
    static constexpr uint32_t kFormatLinearPCM = 0x6C70636D;  // 'lpcm'

    double sampleRate = 44100;
    uint32_t formatID = kFormatLinearPCM;
    int numberOfChannels = 1;
    int encoderAudioQuality = 96;
    int encoderBitRatePerChannel = 128000;
};

// Records the engine's input into a 16-bit WAV file, with an average-power
// meter in dBFS. The input callback only copies into a lock-free ring; a
// writer thread of the recorder's own moves the samples to the file and
// measures them. Main thread only.
class AudioRecorder final : private AudioCaptureSink {
public:
    // The floor of the meter: what silence reads.
    static constexpr float kMinimumPower = -160.0f;

    // A recorder writing to `path`; nullptr with `error` when the settings
    // are not ones it makes or the file's folder does not exist.
    static std::unique_ptr<AudioRecorder> create(AudioEngine& engine, const std::string& path,
                                                 const AudioRecorderSettings& settings,
                                                 AudioError* error = nullptr);
    ~AudioRecorder() override;
    AudioRecorder(const AudioRecorder&) = delete;
    AudioRecorder& operator=(const AudioRecorder&) = delete;

    // Creates (or empties) the file, ready to take samples.
    bool prepareToRecord();
    // Starts taking the input; false when there is no input or no file.
    bool record();
    // Stops and finishes the file; everything captured so far is in it
    // when this returns.
    void stop();
    bool isRecording() const { return recording_; }

    bool isMeteringEnabled() const { return metering_; }
    void setMeteringEnabled(bool on) { metering_ = on; }
    // Takes the level of what came in since the last update.
    void updateMeters();
    // Average power of the last update in dBFS: 0 full scale, down to
    // kMinimumPower. Only channel 0 exists.
    float averagePowerForChannel(int channel) const;

    const std::string& path() const { return path_; }
    // Samples written to the file so far (any thread).
    uint64_t framesWritten() const { return written_.load(); }
    // Samples lost because the writer fell behind the input.
    uint64_t droppedSamples() const { return dropped_.load(); }

private:
    AudioRecorder(AudioEngine& engine, std::string path);
    void captured(const float* mono, size_t frames) noexcept override;
    void writerLoop();
    void drain();
    void closeFile();

    AudioEngine& engine_;
    const std::string path_;
    bool recording_ = false;
    bool metering_ = false;
    float averagePower_ = kMinimumPower;

    struct File;
    std::unique_ptr<File> file_;
    SampleRing ring_;
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint64_t> written_{0};
    std::atomic<bool> stopping_{false};
    std::thread writer_;

    std::mutex meterMutex_;  // between the writer thread and updateMeters()
    double sumOfSquares_ = 0;
    uint64_t meterSamples_ = 0;
};

}  // namespace platform
