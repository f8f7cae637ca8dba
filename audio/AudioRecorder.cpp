#include "audio/AudioRecorder.h"

#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace platform {

namespace {

// Four seconds of input: the writer may stall that long on a slow disk.
constexpr size_t kRingSamples = 44100 * 4;
constexpr auto kWriterPoll = std::chrono::milliseconds(5);

// QUELLIO_RECORDER_RING_SAMPLES shrinks the ring, so tests can make the
// input overflow it for certain.
size_t ringSamples() {
    const char* forced = std::getenv("QUELLIO_RECORDER_RING_SAMPLES");
    const long n = forced ? std::strtol(forced, nullptr, 10) : 0;
    return n > 0 ? static_cast<size_t>(n) : kRingSamples;
}

}  // namespace

struct AudioRecorder::File {
    SNDFILE* handle = nullptr;
    ~File() {
        if (handle) sf_close(handle);
    }
};

std::unique_ptr<AudioRecorder> AudioRecorder::create(AudioEngine& engine, const std::string& path,
                                                     const AudioRecorderSettings& settings,
                                                     AudioError* error) {
    if (settings.formatID != AudioRecorderSettings::kFormatLinearPCM ||
        settings.numberOfChannels != 1 || settings.sampleRate != engine.sampleRate()) {
        setAudioError(error, AudioError::Code::UnsupportedFormat,
                      "only mono linear PCM at the engine's rate is recorded");
        return nullptr;
    }
    const auto folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder.empty() ? "." : folder, ec)) {
        setAudioError(error, AudioError::Code::FileUnreadable,
                      "no folder for the recording: " + folder.string());
        return nullptr;
    }
    return std::unique_ptr<AudioRecorder>(new AudioRecorder(engine, path));
}

AudioRecorder::AudioRecorder(AudioEngine& engine, std::string path)
    : engine_(engine), path_(std::move(path)), ring_(ringSamples()) {}

AudioRecorder::~AudioRecorder() {
    stop();
}

bool AudioRecorder::prepareToRecord() {
    if (recording_) return true;
    closeFile();
    SF_INFO info{};
    info.samplerate = static_cast<int>(engine_.sampleRate());
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* handle = sf_open(path_.c_str(), SFM_WRITE, &info);
    if (!handle) return false;
    // Out-of-range input clips instead of wrapping around.
    sf_command(handle, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    file_ = std::make_unique<File>();
    file_->handle = handle;
    return true;
}

bool AudioRecorder::record() {
    if (recording_) return true;
    if (!file_ && !prepareToRecord()) return false;
    {
        std::lock_guard lock(meterMutex_);
        sumOfSquares_ = 0;
        meterSamples_ = 0;
    }
    averagePower_ = kMinimumPower;
    written_ = 0;
    stopping_ = false;
    writer_ = std::thread([this] { writerLoop(); });
    AudioError error;
    if (!engine_.startCapture(*this, &error)) {
        stopping_ = true;
        writer_.join();
        closeFile();
        // Nothing was recorded: leave no file that would pass for a take.
        std::error_code ec;
        std::filesystem::remove(path_, ec);
        return false;
    }
    recording_ = true;
    return true;
}

void AudioRecorder::stop() {
    if (!recording_) {
        closeFile();
        return;
    }
    engine_.stopCapture();
    stopping_ = true;
    writer_.join();
    closeFile();
    recording_ = false;
}

void AudioRecorder::captured(const float* mono, size_t frames) noexcept {
    const size_t written = ring_.write(mono, frames);
    if (written < frames) dropped_.fetch_add(frames - written, std::memory_order_relaxed);
}

void AudioRecorder::writerLoop() {
    while (!stopping_.load()) {
        drain();
        std::this_thread::sleep_for(kWriterPoll);
    }
    drain();  // the input has stopped: what is left is the end of the take
}

void AudioRecorder::drain() {
    std::vector<float> block(4096);
    while (size_t n = ring_.read(block.data(), block.size())) {
        double sum = 0;
        for (size_t i = 0; i < n; ++i) sum += static_cast<double>(block[i]) * block[i];
        {
            std::lock_guard lock(meterMutex_);
            sumOfSquares_ += sum;
            meterSamples_ += n;
        }
        if (file_) {
            const sf_count_t done =
                sf_writef_float(file_->handle, block.data(), static_cast<sf_count_t>(n));
            written_ += static_cast<uint64_t>(std::max<sf_count_t>(done, 0));
        }
    }
}

void AudioRecorder::closeFile() {
    file_.reset();
}

void AudioRecorder::updateMeters() {
    if (!metering_) return;
    double sum;
    uint64_t count;
    {
        std::lock_guard lock(meterMutex_);
        sum = sumOfSquares_;
        count = meterSamples_;
        sumOfSquares_ = 0;
        meterSamples_ = 0;
    }
    if (count == 0) return;  // nothing new: the reading stays
    const double meanSquare = sum / static_cast<double>(count);
    averagePower_ = meanSquare > 0
                        ? std::max(kMinimumPower, static_cast<float>(10.0 * std::log10(meanSquare)))
                        : kMinimumPower;
}

float AudioRecorder::averagePowerForChannel(int channel) const {
    return channel == 0 && metering_ ? averagePower_ : kMinimumPower;
}

}  // namespace platform
