#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

#include "audio/AudioSession.h"
#include "core/maker/QELSoundEffectMakeViewModel.h"
#include "foundation/Value.h"
#include "ui/maker/QELSoundEffectMakerView.h"
#include "ui/maker/QELSoundEffectSaveViewController.h"
#include "ui/platform/AlertView.h"
#include "ui/platform/Timer.h"

// The maker tab: hold the record button to record, let go to stop; then
// preview the voice changes and save the chosen one or discard the take.
class QELSoundEffectMakeViewController : public platform::ViewController {
    Q_DECLARE_TR_FUNCTIONS(QELSoundEffectMakeViewController)

public:
    enum class State { Ready, Recording, Recorded };

    static constexpr double kMicroPhoneAlertInterval = 7200;
    static constexpr double kStateFadeDuration = 0.2;
    static constexpr const char* kNoMicrophoneTitle =
        QT_TRANSLATE_NOOP("QELSoundEffectMakeViewController", "没有找到麦克风");
    static constexpr const char* kNoMicrophoneMessage = QT_TRANSLATE_NOOP(
        "QELSoundEffectMakeViewController",
        "请把麦克风或带麦克风的耳机接到电脑上，在声音设置里把它选为输入设备，再回来录制");
    // When 设置 finds nothing to open.
    static constexpr const char* kNoSoundSettingsMessage = QT_TRANSLATE_NOOP(
        "QELSoundEffectMakeViewController", "没找到声音设置程序，请在系统设置里选麦克风");

    explicit QELSoundEffectMakeViewController(
        std::shared_ptr<QELSoundEffectMakeViewModel> viewModel);
    ~QELSoundEffectMakeViewController() override;

    // Takes of fewer counted seconds are thrown away.
    static int RecordSecondLimitLowerBound();
    static void setRecordSecondLimitLowerBound(int seconds);
    // "录制时间为 <bound>s 以上".
    static QString tooShortMessage();

    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;

    void onRecordStart();
    void onRecordStop();
    void tick1Sec();
    void updateMeters();
    void onDiscardRecord();
    void onSaveRecord();
    void onPickEditor(QELSoundEffectEditButton& button);
    void alertViewDidDismissWithButtonIndex(int buttonIndex);

    const std::shared_ptr<QELSoundEffectMakeViewModel>& viewModel() const { return viewModel_; }
    QELSoundEffectMakerView* makerView() const { return makerView_; }
    State state() const { return state_; }
    int recordSeconds() const { return recordSeconds_; }
    bool hasDisplayLink() const { return displayLink_ != nullptr; }
    bool hasTimer() const { return timer_ != nullptr; }
    std::optional<platform::Date> microPhoneGrantAlertDate() const {
        return microPhoneGrantAlertDate_;
    }
    // The permission alert while it is on screen.
    platform::AlertView* microPhoneAlert() const { return microPhoneAlert_; }
    QELSoundEffectSaveViewController* saveViewController() const {
        return saveViewController_.get();
    }

    // Where the record permission comes from (the shared audio session).
    using RecordPermissionSource = std::function<platform::AudioSession::RecordPermission()>;
    void setRecordPermissionSource(RecordPermissionSource source);
    // What "设置" runs: the program's own settings screen once there is one
    // (its owner sets it here), else the desktop's sound settings; returns
    // whether something was opened.
    using SettingsOpener = std::function<bool()>;
    void setSettingsOpener(SettingsOpener opener);
    static bool openSoundSettings();

private:
    std::shared_ptr<QELSoundEffectMakeViewController> self();
    void checkMicroPhonePermission();
    void showTime();
    void discardSteps();
    void enterRecorded();
    void updateControls();
    void fade(bool recorded);

    std::shared_ptr<QELSoundEffectMakeViewModel> viewModel_;
    QPointer<QELSoundEffectMakerView> makerView_;
    std::unique_ptr<platform::DisplayLink> displayLink_;
    std::unique_ptr<platform::Timer> timer_;
    int recordSeconds_ = 0;
    std::optional<platform::Date> microPhoneGrantAlertDate_;

    State state_ = State::Ready;
    bool recordPermitted_ = true;
    // Renders under way: the take must stay as it is until they are done.
    int pendingRenders_ = 0;
    std::shared_ptr<QELSoundEffectSaveViewController> saveViewController_;
    QPointer<platform::AlertView> microPhoneAlert_;
    RecordPermissionSource recordPermission_;
    SettingsOpener openSettings_;
};
