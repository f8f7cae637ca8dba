#include "core/maker/QELSoundEffectMakeViewModel.h"

#include <cmath>
#include <filesystem>

#include "core/catalogue/QELSoundEffect.h"
#include "core/maker/QELRecordingSave.h"
#include "core/maker/QELSoundEffectEditor.h"
#include "core/settings/QELAudioSettings.h"
#include "core/playback/QELSoundEffectPlayer.h"
#include "foundation/DebugLog.h"
#include "foundation/DispatchQueue.h"
#include "foundation/Files.h"
#include "foundation/NotificationCenter.h"
#include "foundation/Paths.h"

namespace fs = std::filesystem;

std::string kRecordFileBasePath() {
    return platform::Paths::libraryDirectory() + "/record";
}

std::string kTmpRecordFilePath() {
    return kRecordFileBasePath() + "/tmp_record.wav";
}

struct QELSoundEffectMakeViewModel::PreviewDelegate : platform::AudioPlayerDelegate {
    QELSoundEffectMakeViewModel* owner;
    explicit PreviewDelegate(QELSoundEffectMakeViewModel* o) : owner(o) {}
    void audioPlayerDidFinishPlaying(platform::AudioPlayer&, bool) override {
        owner->audioPlayerDidFinishPlaying();
    }
};

QELSoundEffectMakeViewModel::Environment QELSoundEffectMakeViewModel::Environment::standard() {
    Environment env{kRecordFileBasePath(), kUserCollectionFileBasePath(),
                    &QELMySoundEffectStorage::sharedStorage(), &platform::AudioEngine::shared()};
    // Read at each save: the switch may change while the maker is open.
    env.loudnessTarget = []() -> std::optional<double> {
        const QELAudioSettings settings;
        if (!settings.normaliseLoudness()) return std::nullopt;
        return settings.loudnessTarget();
    };
    return env;
}

QELSoundEffectMakeViewModel::QELSoundEffectMakeViewModel(Environment environment)
    : env_(std::move(environment)),
      delegate_(std::make_shared<PreviewDelegate>(this)),
      alive_(std::make_shared<QELSoundEffectMakeViewModel*>(this)) {
    for (const auto& dir : {env_.recordBasePath, env_.userCollectionBasePath}) {
        std::string error;
        if (!platform::createDirectories(dir, &error)) QEL_DEBUG_ERROR(error);
    }
    discardRecord();
}

QELSoundEffectMakeViewModel::~QELSoundEffectMakeViewModel() {
    stopRecording();
    discardRecord();
}

platform::AudioRecorder* QELSoundEffectMakeViewModel::recorder() {
    if (!recorderTried_) {
        recorderTried_ = true;
        platform::AudioError error;
        recorder_ = platform::AudioRecorder::create(*env_.engine, tmpRecordFilePath(),
                                                    platform::AudioRecorderSettings{}, &error);
        if (!recorder_) QEL_DEBUG_ERROR(error.message);
    }
    return recorder_.get();
}

float QELSoundEffectMakeViewModel::normalizedPowerLevel(float decibels) {
    if (decibels < -60.0f || decibels == 0.0f) return 0.0f;
    const float amplitude = std::pow(10.0f, 0.05f * decibels);
    const float adjusted = (amplitude - 0.001f) * 1.001001f;
    return std::sqrt(adjusted);
}

float QELSoundEffectMakeViewModel::normalizedPowerLevel() {
    auto* r = recorder();
    if (!r) return 0.0f;
    r->updateMeters();
    return normalizedPowerLevel(r->averagePowerForChannel(0));
}

bool QELSoundEffectMakeViewModel::startRecording() {
    auto* r = recorder();
    if (!r) return false;
    platform::NotificationCenter::defaultCenter().post(SoundEffectMakeRecordStartedNotification,
                                                       this);
    QELSoundEffectPlayer::stopCurrentPlaying();
    r->setMeteringEnabled(true);
    r->prepareToRecord();
    return r->record();
}

bool QELSoundEffectMakeViewModel::stopRecording() {
    if (auto* r = recorder()) {
        r->stop();
        r->setMeteringEnabled(false);
    }
    std::error_code ec;
    return fs::exists(tmpRecordFilePath(), ec);
}

std::string QELSoundEffectMakeViewModel::variantFilePath(QELSoundEffectEditType type) const {
    return env_.recordBasePath + "/" + rawValue(type) + ".caf";
}

std::string QELSoundEffectMakeViewModel::savedFilePath(const std::string& name) const {
    return env_.userCollectionBasePath + "/" + name + ".caf";
}

void QELSoundEffectMakeViewModel::editRecord(QELSoundEffectEditType type,
                                             EditCompletion completion) {
    latestPick_ = type;
    const std::string path = variantFilePath(type);
    std::error_code ec;
    if (fs::exists(path, ec)) {
        currentEditType_ = type;
        if (completion) completion(*this, false);
        return;
    }
    // A pick of a type that is rendering waits for that render: two
    // renders of one file would race each other.
    auto& waiting = rendering_[type];
    waiting.push_back(std::move(completion));
    if (waiting.size() > 1) return;
    auto editor = QELSoundEffectEditor::initWithAudioURL(tmpRecordFilePath(), path);
    editor->setEditType(type);
    editor->editAsset(
        [weak = std::weak_ptr(alive_), type](QELSoundEffectEditor& e) {
            auto alive = weak.lock();
            if (!alive) return;
            auto& self = **alive;
            auto node = self.rendering_.extract(type);
            if (e.succeeded() && self.latestPick_ == type) self.currentEditType_ = type;
            if (node.empty()) return;
            for (auto& completion : node.mapped())
                if (completion) completion(self, e.succeeded());
        },
        env_.renderExecutor);
}

void QELSoundEffectMakeViewModel::discardRecord() {
    std::error_code ec;
    // Each entry goes whole with what it holds, so nothing below a removed
    // folder is asked for again.
    for (fs::directory_iterator it(env_.recordBasePath, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code removal;
        fs::remove_all(it->path(), removal);
        if (removal) {
            QEL_DEBUG_ERROR("remove " + it->path().string() + ": " + removal.message());
            break;
        }
    }
    currentEditType_.reset();
    latestPick_.reset();
}

void QELSoundEffectMakeViewModel::playSoundEffect(QELSoundEffectEditType type) {
    if (player_ && player_->isPlaying() && currentPlayingType_ == type) return;
    const std::string path = variantFilePath(type);
    std::error_code ec;
    if (!fs::exists(path, ec)) return;
    platform::AudioError error;
    if (auto created = QELSoundEffectPlayer::playerWithContentsOfURL(path, nullptr, &error)) {
        player_ = std::move(created);
    } else {
        QEL_DEBUG_ERROR(error.message);
    }
    if (player_) {
        player_->setVolume(1.0f);
        player_->setDelegate(delegate_);
        player_->prepareToPlay();
        player_->play();
    }
    currentPlayingType_ = type;
}

void QELSoundEffectMakeViewModel::audioPlayerDidFinishPlaying() {
    currentPlayingType_.reset();
}

bool QELSoundEffectMakeViewModel::isAcceptableName(const std::string& name) {
    return QELRecordingSave::isAcceptableName(name);
}

void QELSoundEffectMakeViewModel::saveRecord(const std::string& name, SaveCompletion completion) {
    std::weak_ptr<QELSoundEffectMakeViewModel*> weak = alive_;
    auto finish = [weak, completion](bool result, std::optional<QELSaveRecordError> error) {
        auto alive = weak.lock();
        if (alive && completion) completion(**alive, result, error);
    };
    if (!isAcceptableName(name)) {
        QEL_DEBUG_ERROR("refused to save under the name \"" + name + "\"");
        platform::MainQueue::async([finish] {
            finish(false,
                   QELSaveRecordError{QELSaveRecordError::Code::InvalidName, kInvalidNameMessage});
        });
        return;
    }
    const std::string source =
        currentEditType_ ? variantFilePath(*currentEditType_) : tmpRecordFilePath();
    const std::string base = env_.userCollectionBasePath;
    const std::optional<double> target = env_.loudnessTarget ? env_.loudnessTarget() : std::nullopt;
    QELMySoundEffectStorage* storage = env_.storage;
    platform::globalQueue(platform::QueuePriority::Default)
        .async([source, base, target, name, storage, finish] {
            std::string error;
            auto bytes = target ? QELRecordingSave::normalisedWAV(source, *target) : std::nullopt;
            if (!bytes) bytes = platform::readFile(source, &error);
            if (!bytes || !QELRecordingSave::write(base, name, *bytes, &error)) {
                QEL_DEBUG_ERROR(std::string(kSaveCopyFailedMessage) + ": " + error);
                platform::MainQueue::async([finish] {
                    finish(false, QELSaveRecordError{QELSaveRecordError::Code::CopyFailed,
                                                     kSaveCopyFailedMessage});
                });
                return;
            }
            // Added even if the model has gone meanwhile: the file is there.
            platform::MainQueue::async([name, storage, finish] {
                const bool result = QELRecordingSave::addEntry(*storage, name);
                finish(result, std::nullopt);
            });
        });
}

bool QELSoundEffectMakeViewModel::hasSoundEffectNamed(const std::string& name) const {
    return QELRecordingSave::hasRecordingNamed(*env_.storage, env_.userCollectionBasePath, name);
}
