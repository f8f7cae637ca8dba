#pragma once

#include <QCoreApplication>
#include <QLabel>
#include <functional>

#include "ui/maker/QELPopover.h"
#include "ui/platform/Control.h"
#include "ui/platform/ViewController.h"

// A card over the collection asking what to do with a long-pressed entry:
// replace it, delete it, give it a hotkey, or nothing.
class QELMySoundEffectsEditOptionViewController : public platform::ViewController,
                                                  public QELPopover {
    Q_DECLARE_TR_FUNCTIONS(QELMySoundEffectsEditOptionViewController)

public:
    using Callback = std::function<void(QELMySoundEffectsEditOptionViewController&)>;

    static constexpr double kTitleTop = 40;
    static constexpr double kButtonsTop = 30;
    static constexpr double kButtonHeight = 44;
    static constexpr double kButtonGap = 15;
    static constexpr double kButtonInset = 30;
    static constexpr double kBottomMargin = 30;

    QELMySoundEffectsEditOptionViewController() = default;

    void viewDidLoad() override;
    void viewDidLayoutSubviews() override;
    QSizeF popover_contentSize() const override;
    void popover_cancel() override { onDismiss(*cancelButton_); }

    const Callback& onReplace() const { return onReplace_; }
    void setOnReplace(Callback callback) { onReplace_ = std::move(callback); }
    const Callback& onDelete() const { return onDelete_; }
    void setOnDelete(Callback callback) { onDelete_ = std::move(callback); }
    const Callback& onHotkey() const { return onHotkey_; }
    void setOnHotkey(Callback callback) { onHotkey_ = std::move(callback); }

    QLabel* titleLabel() const { return titleLabel_; }
    platform::Button* replaceButton() const { return replaceButton_; }
    platform::Button* deleteButton() const { return deleteButton_; }
    platform::Button* hotkeyButton() const { return hotkeyButton_; }
    platform::Button* cancelButton() const { return cancelButton_; }

    // The buttons' actions; the callback runs before the card fades out.
    void onDismiss(platform::Control& sender);
    void onReplace(platform::Control& sender);
    void onDelete(platform::Control& sender);
    void onHotkey(platform::Control& sender);

private:
    platform::Button* makeButton(const QString& title, const QColor& background);

    QLabel* titleLabel_ = nullptr;
    platform::Button* replaceButton_ = nullptr;
    platform::Button* deleteButton_ = nullptr;
    platform::Button* hotkeyButton_ = nullptr;
    platform::Button* cancelButton_ = nullptr;
    Callback onReplace_;
    Callback onDelete_;
    Callback onHotkey_;
};
