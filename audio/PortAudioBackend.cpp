#include "audio/PortAudioBackend.h"

#include <portaudio.h>

#include <algorithm>
#include <cctype>

#include "audio/AudioDevices.h"

namespace platform {

namespace {

// Pa_Initialize and Pa_Terminate are reference-counted by PortAudio; this
// pairs them for one user.
class PortAudioSession {
public:
    PortAudioSession() : error_(Pa_Initialize()) {}
    ~PortAudioSession() {
        if (error_ == paNoError) Pa_Terminate();
    }
    PortAudioSession(const PortAudioSession&) = delete;
    PortAudioSession& operator=(const PortAudioSession&) = delete;

    bool ok() const { return error_ == paNoError; }
    std::string message() const { return Pa_GetErrorText(error_); }

private:
    PaError error_;
};

std::vector<AudioDeviceInfo> devicesOfSession() {
    std::vector<AudioDeviceInfo> devices;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    const PaDeviceIndex defaultIn = Pa_GetDefaultInputDevice();
    const PaDeviceIndex defaultOut = Pa_GetDefaultOutputDevice();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* d = Pa_GetDeviceInfo(i);
        if (!d) continue;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(d->hostApi);
        AudioDeviceInfo info;
        info.index = i;
        info.hostApi = api ? api->name : "";
        info.name = d->name ? d->name : "";
        info.maxInputChannels = d->maxInputChannels;
        info.maxOutputChannels = d->maxOutputChannels;
        info.defaultSampleRate = d->defaultSampleRate;
        info.isDefaultInput = i == defaultIn;
        info.isDefaultOutput = i == defaultOut;
        info.isHostApiDefaultOutput = api && api->defaultOutputDevice == i;
        devices.push_back(std::move(info));
    }
    return devices;
}

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

}  // namespace

std::vector<AudioDeviceInfo> listAudioDevices(AudioError* error) {
    PortAudioSession session;
    if (!session.ok()) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      "PortAudio: " + session.message());
        return {};
    }
    return devicesOfSession();
}

namespace {

std::optional<AudioDeviceInfo> matchDevice(const std::vector<AudioDeviceInfo>& devices,
                                           const std::string& name, bool input, AudioError* error) {
    const std::string kind = input ? "input" : "output";
    std::vector<const AudioDeviceInfo*> outputs;
    for (const auto& d : devices) {
        if ((input ? d.maxInputChannels : d.maxOutputChannels) > 0) outputs.push_back(&d);
    }
    std::string defaultApi;
    for (const auto* d : outputs) {
        if (input ? d->isDefaultInput : d->isDefaultOutput) defaultApi = d->hostApi;
    }

    const AudioDeviceInfo* exact = nullptr;
    for (const auto* d : outputs) {
        if (d->qualifiedName() == name ||
            (!input && d->isHostApiDefaultOutput && d->hostApi == name))
            return *d;
        if (d->name == name && (!exact || d->hostApi == defaultApi)) exact = d;
    }
    if (exact) return *exact;

    const std::string needle = lowered(name);
    std::vector<const AudioDeviceInfo*> partial;
    for (const auto* d : outputs) {
        if (!needle.empty() && lowered(d->qualifiedName()).find(needle) != std::string::npos)
            partial.push_back(d);
    }
    if (partial.size() == 1) return *partial.front();

    std::string message = partial.empty()
                              ? "no " + kind + " device matches \"" + name + "\""
                              : "\"" + name + "\" matches several " + kind + " devices:";
    for (const auto* d : partial) message += " \"" + d->qualifiedName() + "\"";
    setAudioError(error, AudioError::Code::DeviceUnavailable, message);
    return std::nullopt;
}

}  // namespace

std::optional<AudioDeviceInfo> matchOutputDevice(const std::vector<AudioDeviceInfo>& devices,
                                                 const std::string& name, AudioError* error) {
    return matchDevice(devices, name, false, error);
}

std::optional<AudioDeviceInfo> matchInputDevice(const std::vector<AudioDeviceInfo>& devices,
                                                const std::string& name, AudioError* error) {
    return matchDevice(devices, name, true, error);
}

struct PortAudioBackend::Stream {
    PortAudioSession session;
    PaStream* stream = nullptr;
    AudioRenderer* renderer = nullptr;
    int channels = 2;
    bool started = false;

    static int callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user) {
        auto* self = static_cast<Stream*>(user);
        self->renderer->render(static_cast<float*>(output), frames);
        return paContinue;
    }
};

// The input stream: its own PortAudio stream beside the output, opened only
// while recording so the microphone is not held otherwise. Devices that
// cannot deliver mono are read in stereo and mixed down here.
struct PortAudioBackend::Input {
    PortAudioSession session;
    PaStream* stream = nullptr;
    AudioRenderer* renderer = nullptr;
    int channels = 1;
    std::vector<float> mono;

    static int callback(const void* input, void*, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user) {
        auto* self = static_cast<Input*>(user);
        const auto* in = static_cast<const float*>(input);
        if (!in) return paContinue;
        if (self->channels == 1) {
            self->renderer->capture(in, frames);
            return paContinue;
        }
        // Blocks larger than the buffer made at open are passed on in parts.
        for (unsigned long done = 0; done < frames;) {
            const size_t n = std::min<size_t>(frames - done, self->mono.size());
            for (size_t i = 0; i < n; ++i)
                self->mono[i] = 0.5f * (in[2 * (done + i)] + in[2 * (done + i) + 1]);
            self->renderer->capture(self->mono.data(), n);
            done += n;
        }
        return paContinue;
    }
};

PortAudioBackend::PortAudioBackend(std::string deviceName, std::string inputName)
    : deviceName_(std::move(deviceName)), inputDeviceName_(std::move(inputName)) {}

PortAudioBackend::~PortAudioBackend() {
    close();
}

std::optional<AudioDeviceInfo> PortAudioBackend::inputDevice(AudioError* error) const {
    const auto devices = devicesOfSession();
    if (!inputDeviceName_.empty()) return matchInputDevice(devices, inputDeviceName_, error);
    for (const auto& d : devices) {
        if (d.isDefaultInput && d.maxInputChannels > 0) return d;
    }
    setAudioError(error, AudioError::Code::DeviceUnavailable, "no default input device");
    return std::nullopt;
}

bool PortAudioBackend::hasInput() const {
    return stream_ && inputDevice(nullptr).has_value();
}

bool PortAudioBackend::startInput(AudioError* error) {
    if (!stream_ || !stream_->renderer) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "output not running");
        return false;
    }
    stopInput();
    const auto device = inputDevice(error);
    if (!device) return false;
    auto input = std::make_unique<Input>();
    input->renderer = stream_->renderer;
    PaError rc = paInvalidChannelCount;
    for (int channels : {1, 2}) {
        if (channels > device->maxInputChannels) break;
        PaStreamParameters in{};
        in.device = device->index;
        in.channelCount = channels;
        in.sampleFormat = paFloat32;
        in.suggestedLatency = Pa_GetDeviceInfo(device->index)->defaultLowInputLatency;
        input->channels = channels;
        input->mono.assign(std::max(framesPerBuffer_, 1024u), 0.0f);
        rc = Pa_OpenStream(&input->stream, &in, nullptr, sampleRate_, framesPerBuffer_, paNoFlag,
                           &Input::callback, input.get());
        if (rc == paNoError) break;
    }
    if (rc == paNoError) {
        rc = Pa_StartStream(input->stream);
        if (rc != paNoError) Pa_CloseStream(input->stream);
    }
    if (rc != paNoError) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      device->qualifiedName() + ": " + Pa_GetErrorText(rc));
        return false;
    }
    inputName_ = device->qualifiedName();
    input_ = std::move(input);
    return true;
}

void PortAudioBackend::stopInput() {
    if (!input_) return;
    Pa_StopStream(input_->stream);
    Pa_CloseStream(input_->stream);
    input_.reset();
}

std::optional<int> PortAudioBackend::open(double sampleRate, unsigned framesPerBuffer,
                                          AudioError* error) {
    close();
    auto stream = std::make_unique<Stream>();
    if (!stream->session.ok()) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      "PortAudio: " + stream->session.message());
        return std::nullopt;
    }
    const auto devices = devicesOfSession();
    std::optional<AudioDeviceInfo> device;
    if (deviceName_.empty()) {
        for (const auto& d : devices) {
            if (d.isDefaultOutput && d.maxOutputChannels > 0) device = d;
        }
        if (!device) {
            setAudioError(error, AudioError::Code::DeviceUnavailable, "no default output device");
            return std::nullopt;
        }
    } else {
        device = matchOutputDevice(devices, deviceName_, error);
        if (!device) return std::nullopt;
    }

    stream->channels = std::min(device->maxOutputChannels, 2);
    PaStreamParameters out{};
    out.device = device->index;
    out.channelCount = stream->channels;
    out.sampleFormat = paFloat32;
    out.suggestedLatency = Pa_GetDeviceInfo(device->index)->defaultLowOutputLatency;
    const PaError rc = Pa_OpenStream(&stream->stream, nullptr, &out, sampleRate, framesPerBuffer,
                                     paNoFlag, &Stream::callback, stream.get());
    if (rc != paNoError) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      device->qualifiedName() + ": " + Pa_GetErrorText(rc));
        return std::nullopt;
    }
    outputName_ = device->qualifiedName();
    sampleRate_ = sampleRate;
    framesPerBuffer_ = framesPerBuffer;
    stream_ = std::move(stream);
    return stream_->channels;
}

bool PortAudioBackend::start(AudioRenderer& renderer, AudioError* error) {
    if (!stream_) {
        setAudioError(error, AudioError::Code::DeviceUnavailable, "output not open");
        return false;
    }
    stream_->renderer = &renderer;
    if (const PaError rc = Pa_StartStream(stream_->stream); rc != paNoError) {
        setAudioError(error, AudioError::Code::DeviceUnavailable,
                      outputName_ + ": " + Pa_GetErrorText(rc));
        return false;
    }
    stream_->started = true;
    return true;
}

void PortAudioBackend::close() {
    stopInput();
    if (!stream_) return;
    if (stream_->started) Pa_StopStream(stream_->stream);
    Pa_CloseStream(stream_->stream);
    stream_.reset();
}

double PortAudioBackend::outputLatency() const {
    if (!stream_) return 0;
    const PaStreamInfo* info = Pa_GetStreamInfo(stream_->stream);
    return info ? info->outputLatency : 0;
}

}  // namespace platform
