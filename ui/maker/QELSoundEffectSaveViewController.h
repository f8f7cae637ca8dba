#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <functional>
#include <memory>

#include "core/maker/QELSoundEffectSaveViewModel.h"
#include "ui/maker/QELPopover.h"
#include "ui/maker/QELSoundEffectSaveView.h"
#include "ui/platform/AlertView.h"

// The save dialog: asks for a name and saves the take under it. It stays
// open until the save has happened, so a refused name can be changed and
// the take is never discarded before its copy exists.
class QELSoundEffectSaveViewController : public platform::ViewController, public QELPopover {
    Q_DECLARE_TR_FUNCTIONS(QELSoundEffectSaveViewController)

public:
    // Shown when the save failed for a reason other than the name.
    static constexpr const char* kSaveFailedMessage =
        QT_TRANSLATE_NOOP("QELSoundEffectSaveViewController", "保存失败了，换个名字再试试吧");
    // Asked before a save would replace a recording of the same name.
    static constexpr const char* kReplaceTitle =
        QT_TRANSLATE_NOOP("QELSoundEffectSaveViewController", "已有同名音效");

    explicit QELSoundEffectSaveViewController(
        std::shared_ptr<QELSoundEffectSaveViewModel> viewModel);

    // Called once the dialog has gone after a save.
    std::function<void(QELSoundEffectSaveViewController&)> onSaveSucceed;

    QELSoundEffectSaveView* saveView() const { return saveView_; }
    const std::shared_ptr<QELSoundEffectSaveViewModel>& viewModel() const { return viewModel_; }
    // Between confirming and the save's answer.
    bool isSaving() const { return saving_; }
    // The question whether to replace a recording of the same name.
    platform::AlertView* replaceAlert() const { return replaceAlert_; }

    void loadView() override;
    void viewDidLoad() override;
    QSizeF popover_contentSize() const override;
    void popover_cancel() override { onDismiss(); }

    void onDismiss();
    void onConfirm();

private:
    void save(const std::string& name);
    void saveFinished(const std::optional<QELSaveRecordError>& error);
    QELSoundEffectSaveView* saveView_ = nullptr;
    std::shared_ptr<QELSoundEffectSaveViewModel> viewModel_;
    bool saving_ = false;
    QPointer<platform::AlertView> replaceAlert_;
};
