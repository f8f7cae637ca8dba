#pragma once

#include <QCoreApplication>
#include <QLabel>

#include "ui/maker/QELTextField.h"
#include "ui/platform/Control.h"

// The save dialog's card: a title, the name field and cancel / confirm.
class QELSoundEffectSaveView : public platform::View {
    Q_DECLARE_TR_FUNCTIONS(QELSoundEffectSaveView)

public:
    static constexpr double kScreenInset = 84;
    static constexpr double kTitleTop = 40;
    static constexpr double kSpacing = 30;
    static constexpr double kFieldHeight = 30;
    static constexpr double kButtonHeight = 44;
    static constexpr double kButtonSpacing = 15;

    explicit QELSoundEffectSaveView(QWidget* parent = nullptr);

    QLabel* titleLabel() const { return titleLabel_; }
    QELTextField* textField() const { return textField_; }
    platform::Button* cancelButton() const { return cancelButton_; }
    platform::Button* confirmButton() const { return confirmButton_; }

    // Screen width less 84 by the title's height and the margins around
    // each element.
    QSize intrinsicContentSize() const;
    QSize sizeHint() const override { return intrinsicContentSize(); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* titleLabel_;
    QELTextField* textField_;
    platform::Button* cancelButton_;
    platform::Button* confirmButton_;
};
