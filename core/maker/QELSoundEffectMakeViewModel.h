#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioPlayer.h"
#include "audio/AudioRecorder.h"
#include "core/collection/QELMySoundEffectStorage.h"
#include "core/maker/QELSoundEffectEditType.h"
#include "core/maker/QELSoundEffectEditor.h"
#include "core/maker/QELSoundEffectSaveViewModel.h"

// <Library>/record, the working folder of recordings and their variants.
std::string kRecordFileBasePath();
// kRecordFileBasePath() + "/tmp_record.wav".
std::string kTmpRecordFilePath();

// The model behind the maker: records from the microphone into a working
// folder, renders voice-changed variants of the take, previews them and
// saves the chosen one into the user's collection. Its state is the files
// in the working folder. Main thread only.
class QELSoundEffectMakeViewModel final : public QELSoundEffectSaveViewModel {
public:
    static constexpr const char* SoundEffectMakeRecordStartedNotification =
        "SoundEffectMakeRecordStartedNotification";
    static constexpr const char* kSaveCopyFailedMessage =
        "Failed to copy sound effect from record temp dir to user collecion dir";
    static constexpr const char* kInvalidNameMessage = "名称不能包含“/”，也不能是“.”或“..”";

    // Where it keeps and saves files, and whom it records with and saves to.
    struct Environment {
        std::string recordBasePath;
        std::string userCollectionBasePath;
        QELMySoundEffectStorage* storage;
        platform::AudioEngine* engine;
        // Where variants render (tests hold renders back through it).
        QELSoundEffectEditor::Executor renderExecutor = {};
        // The loudness a saved take is brought to; none (or no function):
        // saved as recorded.
        std::function<std::optional<double>()> loudnessTarget = {};
        // The program's: the Library folder, the shared storage and engine.
        static Environment standard();
    };

    explicit QELSoundEffectMakeViewModel(Environment environment = Environment::standard());
    ~QELSoundEffectMakeViewModel() override;
    QELSoundEffectMakeViewModel(const QELSoundEffectMakeViewModel&) = delete;
    QELSoundEffectMakeViewModel& operator=(const QELSoundEffectMakeViewModel&) = delete;

    // The input level in 0..1 for the wave view (0 without a recorder).
    float normalizedPowerLevel();
    // The level the wave view shows for an average power of `decibels`.
    static float normalizedPowerLevel(float decibels);

    bool startRecording();
    // True when a take exists afterwards.
    bool stopRecording();
    using EditCompletion = std::function<void(QELSoundEffectMakeViewModel&, bool rendered)>;
    // Makes the variant of `type` current, rendering it unless its file
    // exists; `rendered` tells which. A rendering that fails leaves the
    // current variant as it was and reports false. The latest pick wins: a
    // render that ends after a later pick only leaves its file for reuse.
    // Every call gets its completion once.
    void editRecord(QELSoundEffectEditType type, EditCompletion completion);
    // Empties the working folder; the raw take becomes current again.
    void discardRecord();
    void playSoundEffect(QELSoundEffectEditType type);

    void saveRecord(const std::string& name, SaveCompletion completion = nullptr) override;
    bool hasSoundEffectNamed(const std::string& name) const override;

    std::optional<QELSoundEffectEditType> currentEditType() const { return currentEditType_; }
    std::optional<QELSoundEffectEditType> currentPlayingType() const { return currentPlayingType_; }
    std::shared_ptr<platform::AudioPlayer> player() const { return player_; }
    // The recorder, created on first use; nullptr when it cannot be.
    platform::AudioRecorder* recorder();

    std::string tmpRecordFilePath() const { return env_.recordBasePath + "/tmp_record.wav"; }
    std::string variantFilePath(QELSoundEffectEditType type) const;
    std::string savedFilePath(const std::string& name) const;

    // Names that would leave the collection folder or name no file.
    static bool isAcceptableName(const std::string& name);

private:
    struct PreviewDelegate;
    void audioPlayerDidFinishPlaying();

    Environment env_;
    bool recorderTried_ = false;
    std::unique_ptr<platform::AudioRecorder> recorder_;
    std::shared_ptr<platform::AudioPlayer> player_;
    std::optional<QELSoundEffectEditType> currentEditType_;
    std::optional<QELSoundEffectEditType> currentPlayingType_;
    // The type of the latest pick, and the picks waiting for each render.
    std::optional<QELSoundEffectEditType> latestPick_;
    std::map<QELSoundEffectEditType, std::vector<EditCompletion>> rendering_;
    std::shared_ptr<PreviewDelegate> delegate_;
    std::shared_ptr<QELSoundEffectMakeViewModel*> alive_;  // for callbacks that outlive a call
};
