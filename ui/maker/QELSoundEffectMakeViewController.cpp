#include "ui/maker/QELSoundEffectMakeViewController.h"

#include <QProcess>
#include <QStandardPaths>
#include <atomic>

#include "foundation/RunLoop.h"
#include "ui/platform/Animation.h"
#include "ui/statistics/QELStatistics.h"
#include "ui/statistics/QELTouchEventInfo.h"
#include "ui/utils/QELNavigationAlert.h"

using namespace platform;

namespace {

std::atomic<int> recordSecondLimitLowerBound{2};

}  // namespace

int QELSoundEffectMakeViewController::RecordSecondLimitLowerBound() {
    return recordSecondLimitLowerBound.load();
}

void QELSoundEffectMakeViewController::setRecordSecondLimitLowerBound(int seconds) {
    recordSecondLimitLowerBound.store(seconds);
}

QString QELSoundEffectMakeViewController::tooShortMessage() {
    return tr("录制时间为 %1s 以上").arg(RecordSecondLimitLowerBound());
}

bool QELSoundEffectMakeViewController::openSoundSettings() {
    // The mixers of the common desktops, most specific first.
    const std::pair<const char*, QStringList> candidates[] = {
        {"pavucontrol", {}},
        {"pavucontrol-qt", {}},
        {"gnome-control-center", {QStringLiteral("sound")}},
        {"kcmshell6", {QStringLiteral("kcm_pulseaudio")}},
        {"kcmshell5", {QStringLiteral("kcm_pulseaudio")}},
        {"xfce4-mixer", {}},
    };
    for (const auto& [program, arguments] : candidates) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (!path.isEmpty() && QProcess::startDetached(path, arguments)) return true;
    }
    return false;
}

QELSoundEffectMakeViewController::QELSoundEffectMakeViewController(
    std::shared_ptr<QELSoundEffectMakeViewModel> viewModel)
    : viewModel_(std::move(viewModel)),
      recordPermission_([] { return AudioSession::sharedInstance().recordPermission(); }),
      openSettings_(&QELSoundEffectMakeViewController::openSoundSettings) {
    setTitle(tr("自制音效"));
}

QELSoundEffectMakeViewController::~QELSoundEffectMakeViewController() {
    displayLink_.reset();
    timer_.reset();
    if (microPhoneAlert_) microPhoneAlert_->didDismissWithButtonIndex = nullptr;
}

std::shared_ptr<QELSoundEffectMakeViewController> QELSoundEffectMakeViewController::self() {
    return std::static_pointer_cast<QELSoundEffectMakeViewController>(shared_from_this());
}

void QELSoundEffectMakeViewController::setRecordPermissionSource(RecordPermissionSource source) {
    recordPermission_ = std::move(source);
}

void QELSoundEffectMakeViewController::setSettingsOpener(SettingsOpener opener) {
    openSettings_ = std::move(opener);
}

void QELSoundEffectMakeViewController::loadView() {
    makerView_ =
        new QELSoundEffectMakerView(QRect(0, 0, qRound(screenWidth()), qRound(screenHeight())));
    setView(makerView_);
}

void QELSoundEffectMakeViewController::viewDidLoad() {
    QELSoundEffectMakerView* v = makerView_;
    setAlpha(v->waveFormView(), 1);
    setAlpha(v->editPickView(), 0);
    v->editPickView()->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    updateControls();

    std::weak_ptr<QELSoundEffectMakeViewController> weak = self();
    auto action = [weak](const char* selector, void (QELSoundEffectMakeViewController::*method)()) {
        return ControlAction{selector, [weak, method](Control&) {
                                 if (auto controller = weak.lock()) ((*controller).*method)();
                             }};
    };
    Button* record = v->recordButton();
    record->addTarget(this,
                      action("onRecordStart:", &QELSoundEffectMakeViewController::onRecordStart),
                      ControlEventTouchDown);
    record->addTarget(this,
                      action("onRecordStop:", &QELSoundEffectMakeViewController::onRecordStop),
                      ControlEventTouchUpOutside);
    record->addTarget(this,
                      action("onRecordStop:", &QELSoundEffectMakeViewController::onRecordStop),
                      ControlEventTouchUpInside);
    auto recorded =
        QELTouchEventInfo::initWithEventID(kEventRecordSound, "完成录音", std::nullopt, true);
    setTouchEventInfos(record, {{QELTouchEventType::TouchUpInside, recorded},
                                {QELTouchEventType::TouchUpOutside, recorded}});

    v->discardButton()->addTarget(
        this, action("onDiscardRecord:", &QELSoundEffectMakeViewController::onDiscardRecord),
        ControlEventTouchUpInside);
    v->saveButton()->addTarget(
        this, action("onSaveRecord:", &QELSoundEffectMakeViewController::onSaveRecord),
        ControlEventTouchUpInside);
    setDefaultEventID(v->saveButton(), kEventMakeSound);

    for (QELSoundEffectEditButton* button : v->editPickView()->buttons()) {
        button->addTarget(
            this,
            {"onPickEditor:",
             [weak](Control& sender) {
                 if (auto controller = weak.lock())
                     controller->onPickEditor(static_cast<QELSoundEffectEditButton&>(sender));
             }},
            ControlEventTouchUpInside);
        setDefaultEventID(button, kEventClickSoundEffect);
    }

    recordSeconds_ = 0;
    showTime();
}

void QELSoundEffectMakeViewController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    checkMicroPhonePermission();
}

void QELSoundEffectMakeViewController::checkMicroPhonePermission() {
    // The desktop never asks: there is an input to record from or there is not.
    if (recordPermission_() != AudioSession::RecordPermission::Denied) {
        recordPermitted_ = true;
        updateControls();
        return;
    }
    recordPermitted_ = false;
    updateControls();
    const Date now = RunLoop::main().clock().date();
    if (microPhoneGrantAlertDate_) {
        const double elapsed =
            now.secondsSinceReferenceDate - microPhoneGrantAlertDate_->secondsSinceReferenceDate;
        // A clock set back counts as no time passed.
        if (elapsed < kMicroPhoneAlertInterval) return;
    }
    if (microPhoneAlert_) return;
    // On the desktop nothing is withheld: there is no input device.
    microPhoneAlert_ =
        new AlertView(tr(kNoMicrophoneTitle), tr(kNoMicrophoneMessage), tr("取消"), {tr("设置")});
    std::weak_ptr<QELSoundEffectMakeViewController> weak = self();
    microPhoneAlert_->didDismissWithButtonIndex = [weak](int index) {
        if (auto controller = weak.lock()) controller->alertViewDidDismissWithButtonIndex(index);
    };
    microPhoneAlert_->showAlert();
    microPhoneGrantAlertDate_ = now;
}

void QELSoundEffectMakeViewController::alertViewDidDismissWithButtonIndex(int buttonIndex) {
    if (buttonIndex != 1) return;
    // Never nothing: if no settings can be opened, say so.
    if (!openSettings_ || !openSettings_()) {
        QELNavigationAlertManager::clearAlertQueue();
        QELNavigationAlertManager::showAlert(QELNavigationAlert(tr(kNoSoundSettingsMessage)));
    }
}

void QELSoundEffectMakeViewController::onRecordStart() {
    if (!viewModel_->startRecording()) return;
    // A take that could not be kept leaves its count behind: start afresh.
    recordSeconds_ = 0;
    showTime();
    state_ = State::Recording;
    updateControls();
    // Owned by this controller, which ends them before it goes.
    displayLink_ = std::make_unique<DisplayLink>([this] { updateMeters(); });
    timer_ = std::make_unique<Timer>(1.0, [this] { tick1Sec(); });
}

void QELSoundEffectMakeViewController::updateMeters() {
    if (makerView_)
        makerView_->waveFormView()->updateWithLevel(
            static_cast<double>(viewModel_->normalizedPowerLevel()));
}

void QELSoundEffectMakeViewController::tick1Sec() {
    ++recordSeconds_;
    showTime();
}

void QELSoundEffectMakeViewController::showTime() {
    if (makerView_) makerView_->timeLabel()->setText(QString::asprintf("%02d s", recordSeconds_));
}

void QELSoundEffectMakeViewController::onRecordStop() {
    const bool ok = viewModel_->stopRecording();
    updateMeters();
    displayLink_.reset();
    timer_.reset();
    if (recordSeconds_ < RecordSecondLimitLowerBound()) {
        QELNavigationAlertManager::clearAlertQueue();
        QELNavigationAlertManager::showAlert(QELNavigationAlert(tooShortMessage()));
        discardSteps();
        return;
    }
    if (ok) {
        state_ = State::Recorded;
        updateControls();
        fade(true);
    } else {
        state_ = State::Ready;
        updateControls();
    }
}

void QELSoundEffectMakeViewController::onPickEditor(QELSoundEffectEditButton& button) {
    if (state_ != State::Recorded) return;
    for (QELSoundEffectEditButton* b : makerView_->editPickView()->buttons())
        b->setSelected(b == &button);
    const QELSoundEffectEditType type = button.editType();
    ++pendingRenders_;
    updateControls();
    std::weak_ptr<QELSoundEffectMakeViewController> weak = self();
    viewModel_->editRecord(type, [weak, type](QELSoundEffectMakeViewModel& viewModel, bool) {
        auto controller = weak.lock();
        if (!controller) return;
        --controller->pendingRenders_;
        controller->updateControls();
        // A pick that a later one overtook plays nothing: what is heard is
        // what gets saved.
        if (viewModel.currentEditType() == type) viewModel.playSoundEffect(type);
    });
}

void QELSoundEffectMakeViewController::onDiscardRecord() {
    discardSteps();
}

void QELSoundEffectMakeViewController::onSaveRecord() {
    if (state_ != State::Recorded || pendingRenders_ > 0) return;
    auto save = std::make_shared<QELSoundEffectSaveViewController>(viewModel_);
    std::weak_ptr<QELSoundEffectMakeViewController> weak = self();
    save->onSaveSucceed = [weak](QELSoundEffectSaveViewController&) {
        if (auto controller = weak.lock()) controller->discardSteps();
    };
    // Kept until the next save: the dialog lives in the popover's layer.
    saveViewController_ = save;
    showPopover(*save);
}

void QELSoundEffectMakeViewController::discardSteps() {
    recordSeconds_ = 0;
    showTime();
    viewModel_->discardRecord();
    state_ = State::Ready;
    updateControls();
    fade(false);
    if (makerView_)
        for (QELSoundEffectEditButton* b : makerView_->editPickView()->buttons())
            b->setSelected(false);
}

void QELSoundEffectMakeViewController::updateControls() {
    if (!makerView_) return;
    const bool recorded = state_ == State::Recorded;
    // While a variant renders, the take and its files must stay as they are.
    const bool settled = recorded && pendingRenders_ == 0;
    makerView_->recordButton()->setEnabled(!recorded && recordPermitted_);
    makerView_->discardButton()->setEnabled(settled);
    makerView_->saveButton()->setEnabled(settled);
}

void QELSoundEffectMakeViewController::fade(bool recorded) {
    if (!makerView_) return;
    QWidget* wave = makerView_->waveFormView();
    QWidget* picker = makerView_->editPickView();
    // A hidden picker lies over the wave and must not take its clicks.
    picker->setAttribute(Qt::WA_TransparentForMouseEvents, !recorded);
    animate(
        kStateFadeDuration, 0, AnimationCurve::EaseInOut,
        [&](AnimationChanges& c) {
            c.alpha(wave, recorded ? 0 : 1);
            c.alpha(picker, recorded ? 1 : 0);
        },
        {}, makerView_);
}
