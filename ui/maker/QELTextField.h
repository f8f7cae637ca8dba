#pragma once

#include <QLineEdit>
#include <QPixmap>

#include "ui/platform/Control.h"

// A one-line field over a stretchable background image, with a 10-point
// inner margin on the left and a clear button of its own on the right.
// Input methods reach it as any line edit.
class QELTextField : public QLineEdit {
public:
    static constexpr int kLeftViewWidth = 10;
    static constexpr QSize kRightViewSize{23, 15};
    static constexpr int kClearButtonSize = 15;
    static constexpr int kBackgroundCapInset = 10;

    explicit QELTextField(QWidget* parent = nullptr);

    // The background, drawn with its corners of kBackgroundCapInset kept.
    void setBackgroundImage(const QPixmap& image);
    void setCornerRadius(double radius);
    QWidget* rightView() const { return rightView_; }
    platform::Button* clearButton() const { return clearButton_; }
    void clearClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* rightView_;
    platform::Button* clearButton_;
    QPixmap background_;
    double cornerRadius_ = 0;
};
