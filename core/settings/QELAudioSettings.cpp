#include "core/settings/QELAudioSettings.h"

#include <algorithm>

#include "audio/Loudness.h"
#include "audio/VirtualDevices.h"

namespace {

constexpr const char* kRoutingKey = "QELAudioRoutingEnabled";
constexpr const char* kStreamOutputKey = "QELAudioStreamOutput";
constexpr const char* kMonitorOutputKey = "QELAudioMonitorOutput";
constexpr const char* kMixedMicrophoneKey = "QELAudioMixedMicrophone";
constexpr const char* kMicrophoneVolumeKey = "QELAudioMicrophoneVolume";
constexpr const char* kStreamVolumeKey = "QELAudioStreamVolume";
constexpr const char* kMonitorVolumeKey = "QELAudioMonitorVolume";
constexpr const char* kMakerInputKey = "QELAudioMakerInput";
constexpr const char* kEffectsVolumeKey = "QELEffectsVolume";
constexpr const char* kNormaliseKey = "QELNormaliseLoudness";
constexpr const char* kLoudnessTargetKey = "QELLoudnessTarget";

bool contains(const std::vector<platform::SoundServerDevice>& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(), [&](const auto& d) { return d.name == name; });
}

}  // namespace

QELAudioSettings::QELAudioSettings(platform::UserDefaults& defaults) : defaults_(defaults) {}

std::string QELAudioSettings::string(const char* key) const {
    return defaults_.stringForKey(key).value_or("");
}

float QELAudioSettings::volume(const char* key) const {
    const std::optional<double> v = defaults_.objectForKey(key).asReal();
    return v ? std::clamp(static_cast<float>(*v), 0.0f, 1.0f) : 1.0f;
}

void QELAudioSettings::set(const char* key, const platform::Value& value) {
    defaults_.setObject(value, key);
}

bool QELAudioSettings::routingEnabled() const {
    return defaults_.boolForKey(kRoutingKey);
}
void QELAudioSettings::setRoutingEnabled(bool on) {
    set(kRoutingKey, on);
}
std::string QELAudioSettings::streamOutput() const {
    return string(kStreamOutputKey);
}
void QELAudioSettings::setStreamOutput(const std::string& d) {
    set(kStreamOutputKey, d);
}
std::string QELAudioSettings::monitorOutput() const {
    return string(kMonitorOutputKey);
}
void QELAudioSettings::setMonitorOutput(const std::string& d) {
    set(kMonitorOutputKey, d);
}
std::string QELAudioSettings::mixedMicrophone() const {
    return string(kMixedMicrophoneKey);
}
void QELAudioSettings::setMixedMicrophone(const std::string& d) {
    set(kMixedMicrophoneKey, d);
}
float QELAudioSettings::microphoneVolume() const {
    return volume(kMicrophoneVolumeKey);
}
void QELAudioSettings::setMicrophoneVolume(float v) {
    set(kMicrophoneVolumeKey, double(std::clamp(v, 0.0f, 1.0f)));
}
float QELAudioSettings::streamVolume() const {
    return volume(kStreamVolumeKey);
}
void QELAudioSettings::setStreamVolume(float v) {
    set(kStreamVolumeKey, double(std::clamp(v, 0.0f, 1.0f)));
}
float QELAudioSettings::effectsVolume() const {
    return volume(kEffectsVolumeKey);
}
void QELAudioSettings::setEffectsVolume(float v) {
    set(kEffectsVolumeKey, double(std::clamp(v, 0.0f, 1.0f)));
}
float QELAudioSettings::monitorVolume() const {
    return volume(kMonitorVolumeKey);
}
void QELAudioSettings::setMonitorVolume(float v) {
    set(kMonitorVolumeKey, double(std::clamp(v, 0.0f, 1.0f)));
}
bool QELAudioSettings::normaliseLoudness() const {
    return defaults_.objectForKey(kNormaliseKey).asBool().value_or(true);
}
void QELAudioSettings::setNormaliseLoudness(bool on) {
    set(kNormaliseKey, on);
}
double QELAudioSettings::loudnessTarget() const {
    const double v = defaults_.objectForKey(kLoudnessTargetKey)
                         .asReal()
                         .value_or(platform::kDefaultLoudnessTarget);
    return std::clamp(v, platform::kMinLoudnessTarget, platform::kMaxLoudnessTarget);
}
void QELAudioSettings::setLoudnessTarget(double lufs) {
    set(kLoudnessTargetKey,
        std::clamp(lufs, platform::kMinLoudnessTarget, platform::kMaxLoudnessTarget));
}
std::string QELAudioSettings::makerInput() const {
    return string(kMakerInputKey);
}
void QELAudioSettings::setMakerInput(const std::string& d) {
    set(kMakerInputKey, d);
}

QELAudioSettings::Route QELAudioSettings::resolve(
    const platform::SoundServerDevices& devices) const {
    Route route;
    route.virtualMicrophone = routingEnabled();
    if (route.virtualMicrophone) {
        route.streamSink = platform::VirtualDevices::kEffectsSink;
    } else if (const std::string s = streamOutput(); !s.empty()) {
        if (contains(devices.outputs, s)) {
            route.streamSink = s;
        } else {
            route.fellBack.push_back("直播输出“" + s + "”不在了，改用默认输出");
        }
    }
    if (const std::string m = monitorOutput(); !m.empty()) {
        route.monitor = true;
        if (contains(devices.outputs, m)) {
            route.monitorSink = m;
        } else {
            route.fellBack.push_back("监听输出“" + m + "”不在了，改用默认输出");
        }
    }
    if (const std::string mic = mixedMicrophone(); !mic.empty() && route.virtualMicrophone) {
        if (contains(devices.inputs, mic)) {
            route.microphone = mic;
        } else {
            route.fellBack.push_back("麦克风“" + mic + "”不在了，暂不混入");
        }
    }
    if (const std::string in = makerInput(); !in.empty()) {
        if (contains(devices.inputs, in)) {
            route.makerInput = in;
        } else {
            route.fellBack.push_back("录音输入“" + in + "”不在了，改用默认输入");
        }
    }
    return route;
}

platform::AudioEngineOptions QELAudioSettings::engineOptions(const Route& route) const {
    platform::AudioEngineOptions options;
    options.backend = platform::AudioEngineOptions::Backend::PulseAudio;
    options.route.streamSink = route.streamSink;
    options.route.monitor = route.monitor;
    options.route.monitorSink = route.monitorSink;
    options.route.streamVolume = streamVolume();
    options.route.monitorVolume = monitorVolume();
    options.route.inputSource = route.makerInput;
    return options;
}

platform::AudioEngineOptions QELAudioSettings::portAudioOptions() const {
    platform::AudioEngineOptions options;
    options.backend = platform::AudioEngineOptions::Backend::PortAudio;
    options.outputDevice = streamOutput();
    options.inputDevice = makerInput();
    return options;
}
