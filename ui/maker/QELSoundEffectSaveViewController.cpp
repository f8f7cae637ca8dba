#include "ui/maker/QELSoundEffectSaveViewController.h"

#include "ui/utils/QELCoreText.h"

#include "ui/utils/QELNavigationAlert.h"

using namespace platform;

QELSoundEffectSaveViewController::QELSoundEffectSaveViewController(
    std::shared_ptr<QELSoundEffectSaveViewModel> viewModel)
    : viewModel_(std::move(viewModel)) {}

void QELSoundEffectSaveViewController::loadView() {
    saveView_ = new QELSoundEffectSaveView();
    setView(saveView_);
}

void QELSoundEffectSaveViewController::viewDidLoad() {
    std::weak_ptr<ViewController> weak = weakSelf();
    auto action = [weak](void (QELSoundEffectSaveViewController::*method)()) {
        return [weak, method](Control&) {
            if (auto self = std::static_pointer_cast<QELSoundEffectSaveViewController>(weak.lock()))
                ((*self).*method)();
        };
    };
    saveView_->cancelButton()->addTarget(
        this, {"onDismiss:", action(&QELSoundEffectSaveViewController::onDismiss)},
        ControlEventTouchUpInside);
    saveView_->confirmButton()->addTarget(
        this, {"onConfirm:", action(&QELSoundEffectSaveViewController::onConfirm)},
        ControlEventTouchUpInside);
    // Typing starts at once; Return confirms.
    saveView_->setFocusProxy(saveView_->textField());
    QObject::connect(saveView_->textField(), &QLineEdit::returnPressed, saveView_,
                     [this] { onConfirm(); });
}

QSizeF QELSoundEffectSaveViewController::popover_contentSize() const {
    if (!saveView_) return {};
    return saveView_->intrinsicContentSize();
}

void QELSoundEffectSaveViewController::onDismiss() {
    if (saving_ || replaceAlert_) return;
    saveView_->textField()->clearFocus();
    dismissPopover(*this);
}

void QELSoundEffectSaveViewController::onConfirm() {
    if (saving_) return;
    const QString text = saveView_->textField()->text();
    if (text.isEmpty()) return;
    if (replaceAlert_) return;
    const std::string name = text.toStdString();
    if (viewModel_->hasSoundEffectNamed(name)) {
        // Replacing loses the recording that has this name: ask first.
        replaceAlert_ = new AlertView(tr(kReplaceTitle), tr("替换后，原来的“%1”就没有了").arg(text),
                                      tr("取消"), {tr("替换")});
        std::weak_ptr<ViewController> weak = weakSelf();
        replaceAlert_->didDismissWithButtonIndex = [weak, name](int index) {
            auto self = std::static_pointer_cast<QELSoundEffectSaveViewController>(weak.lock());
            if (!self) return;
            self->replaceAlert_ = nullptr;
            if (index == 1)
                self->save(name);
            else
                self->saveView_->textField()->setFocus();
        };
        replaceAlert_->showAlert();
        return;
    }
    save(name);
}

void QELSoundEffectSaveViewController::save(const std::string& name) {
    saveView_->textField()->clearFocus();
    saving_ = true;
    saveView_->setEnabled(false);
    std::weak_ptr<ViewController> weak = weakSelf();
    viewModel_->saveRecord(
        name,
        [weak](QELSoundEffectSaveViewModel&, bool, const std::optional<QELSaveRecordError>& error) {
            if (auto self = std::static_pointer_cast<QELSoundEffectSaveViewController>(weak.lock()))
                self->saveFinished(error);
        });
}

void QELSoundEffectSaveViewController::saveFinished(
    const std::optional<QELSaveRecordError>& error) {
    saving_ = false;
    if (error) {
        saveView_->setEnabled(true);
        saveView_->textField()->setFocus();
        const QString message = error->code == QELSaveRecordError::Code::InvalidName
                                    ? QELCoreText(error->message)
                                    : tr(kSaveFailedMessage);
        QELNavigationAlertManager::clearAlertQueue();
        QELNavigationAlertManager::showAlert(QELNavigationAlert(message));
        return;
    }
    std::weak_ptr<ViewController> weak = weakSelf();
    dismissPopover(*this, [weak](ViewController&) {
        auto self = std::static_pointer_cast<QELSoundEffectSaveViewController>(weak.lock());
        if (self && self->onSaveSucceed) self->onSaveSucceed(*self);
    });
}
