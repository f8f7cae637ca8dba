#include "core/settings/QELAudioRouting.h"

#include <chrono>
#include <cstdlib>

#include "audio/AudioDevices.h"
#include "foundation/DebugLog.h"

using platform::AudioEngineOptions;

namespace {

// How often to look for a sound server that went away.
constexpr auto kReconnectInterval = std::chrono::milliseconds(500);

bool sameOutputs(const AudioEngineOptions& a, const AudioEngineOptions& b) {
    return a.backend == b.backend && a.route.streamSink == b.route.streamSink &&
           a.route.monitor == b.route.monitor && a.route.monitorSink == b.route.monitorSink &&
           a.route.inputSource == b.route.inputSource && a.outputDevice == b.outputDevice &&
           a.inputDevice == b.inputDevice;
}

}  // namespace

QELAudioRouting::QELAudioRouting(QELAudioSettings& settings, platform::AudioEngine& engine,
                                 platform::RunLoop& loop)
    : settings_(settings),
      engine_(engine),
      loop_(loop),
      self_(std::make_shared<QELAudioRouting*>(this)) {}

QELAudioRouting::~QELAudioRouting() {
    *self_ = nullptr;
    stop();
}

QELAudioRouting& QELAudioRouting::shared() {
    static QELAudioSettings* settings = new QELAudioSettings();
    static QELAudioRouting* routing =
        new QELAudioRouting(*settings, platform::AudioEngine::shared());
    return *routing;
}

void QELAudioRouting::tell(const std::string& message) {
    QEL_DEBUG_ERROR(message);
    if (notice_) notice_(message);
}

void QELAudioRouting::connect() {
    if (connection_) return;
    platform::AudioError error;
    connection_ = platform::PulseConnection::connect("Quellio", &error);
    if (!connection_) {
        problem_ = error.message;
        return;
    }
    std::weak_ptr<QELAudioRouting*> weak = self_;
    connection_->watchDevices([weak, loop = &loop_](bool connected) {
        loop->post([weak, connected] {
            const auto self = weak.lock();
            if (!self || !*self) return;
            if (!connected) return (*self)->serverLost();
            if ((*self)->devicesChanged_) (*self)->devicesChanged_();
        });
    });
}

void QELAudioRouting::setEffectsVolume(float volume) {
    settings_.setEffectsVolume(volume);
    engine_.setEffectsVolume(settings_.effectsVolume());
}

void QELAudioRouting::start() {
    started_ = true;
    engine_.setEffectsVolume(settings_.effectsVolume());
    const char* backend = std::getenv("QUELLIO_AUDIO_BACKEND");
    nullOutput_ = backend && std::string(backend) == "null";
    const AudioEngineOptions environment = AudioEngineOptions().withEnvironment();
    if (nullOutput_ || environment.backend == AudioEngineOptions::Backend::PortAudio) {
        // Chosen from outside (tests, a PortAudio device by name).
        engine_.startIfNeeded();
        return;
    }
    problem_.clear();
    connect();
    if (!connection_) {
        engine_.setPreferredOptions(settings_.portAudioOptions());
        engine_.startIfNeeded();
        if (settings_.routingEnabled()) {
            problem_ = "虚拟麦克风需要 PipeWire 或 PulseAudio（" + problem_ + "）";
        }
        opened_ = engine_.preferredOptions();
        return;
    }
    std::weak_ptr<QELAudioRouting*> weak = self_;
    engine_.setRouteLostHandler([weak](bool monitor, const std::string& nowOn) {
        const auto self = weak.lock();
        if (!self || !*self || nowOn.empty()) return;
        (*self)->tell(std::string(monitor ? "监听输出" : "直播输出") + "已断开，改用“" + nowOn +
                      "”");
    });
    apply();
}

void QELAudioRouting::apply() {
    if (!started_) return;
    if (nullOutput_) return;
    if (!connection_) {
        // PortAudio: the stored names, reopened only when they changed.
        const AudioEngineOptions options = settings_.portAudioOptions();
        if (!opened_ || !sameOutputs(*opened_, options)) {
            engine_.stop();
            engine_.setPreferredOptions(options);
            engine_.startIfNeeded();
            opened_ = options;
        }
        return;
    }
    const std::optional<platform::SoundServerDevices> list = devices();
    if (!list) return serverLost();
    QELAudioSettings::Route route = settings_.resolve(*list);
    problem_.clear();
    if (route.virtualMicrophone) {
        if (!virtual_) virtual_ = std::make_unique<platform::VirtualDevices>();
        platform::AudioError error;
        if (!virtual_->create(&error)) {
            problem_ = "无法创建虚拟麦克风：" + error.message;
            route.streamSink.clear();
        } else if (!virtual_->setMicrophone(route.microphone, settings_.microphoneVolume(),
                                            &error)) {
            route.fellBack.push_back("无法混入麦克风：" + error.message);
        }
    } else if (virtual_) {
        // Off our output first: its removal would move the stream elsewhere.
        engine_.stop();
        opened_.reset();
        virtual_.reset();  // removes the pair
    }
    for (const std::string& message : route.fellBack) tell(message);
    if (!problem_.empty()) tell(problem_);
    openOutputs(route);
}

void QELAudioRouting::openOutputs(const QELAudioSettings::Route& route) {
    const AudioEngineOptions options = settings_.engineOptions(route).withEnvironment();
    engine_.setPreferredOptions(options);
    if (opened_ && sameOutputs(*opened_, options) && engine_.isRunning()) {
        engine_.setOutputVolumes(options.route.streamVolume, options.route.monitorVolume);
        return;
    }
    engine_.stop();
    platform::AudioError error;
    if (!engine_.start(options, &error)) {
        tell("无法打开输出：" + error.message);
        engine_.startIfNeeded();
    }
    opened_ = options;
}

void QELAudioRouting::stop() {
    engine_.stop();
    virtual_.reset();
    connection_.reset();
    opened_.reset();
    started_ = false;
}

std::optional<platform::SoundServerDevices> QELAudioRouting::devices() const {
    if (!connection_) return std::nullopt;
    return connection_->devices();
}

QELAudioRouting::DeviceLists QELAudioRouting::deviceLists() const {
    DeviceLists lists;
    if (nullOutput_) return lists;
    if (const auto server = devices()) {
        lists.soundServer = true;
        lists.outputs = server->outputs;
        lists.inputs = server->inputs;
        return lists;
    }
    for (const platform::AudioDeviceInfo& d : platform::listAudioDevices()) {
        const platform::SoundServerDevice device{d.qualifiedName(), d.qualifiedName()};
        if (d.maxOutputChannels > 0) lists.outputs.push_back(device);
        if (d.maxInputChannels > 0) lists.inputs.push_back(device);
    }
    return lists;
}

void QELAudioRouting::serverLost() {
    if (!connection_) return;
    QEL_DEBUG_ERROR("the sound server went away; reconnecting");
    engine_.stop();
    virtual_.reset();
    connection_.reset();
    opened_.reset();
    problem_ = "声音服务已断开，正在重新连接";
    if (devicesChanged_) devicesChanged_();
    retry();
}

void QELAudioRouting::retry() {
    std::weak_ptr<QELAudioRouting*> weak = self_;
    loop_.postAfter(kReconnectInterval, [weak] {
        const auto self = weak.lock();
        if (!self || !*self || !(*self)->started_) return;
        QELAudioRouting& routing = **self;
        routing.connect();
        if (!routing.connection_) return routing.retry();
        QEL_DEBUG_ERROR("the sound server is back; routing again");
        routing.tell("声音服务已恢复");
        routing.apply();
        if (routing.devicesChanged_) routing.devicesChanged_();
    });
}
