#include "ui/maker/QELSoundEffectSaveView.h"

#include <cmath>

#include "ui/platform/Geometry.h"
#include "ui/platform/Image.h"
#include "ui/platform/Palette.h"
#include "ui/platform/ViewController.h"

using namespace platform;

namespace {

Button* makeDialogButton(QWidget* parent, const QString& title, const QColor& background) {
    auto* button = new Button(parent);
    button->setTitle(title);
    button->setFont(Font::t4());
    button->setTitleColor(Color::c1());
    button->setBackgroundColor(background);
    button->setCornerRadius(QELSoundEffectSaveView::kButtonHeight / 2);
    return button;
}

}  // namespace

QELSoundEffectSaveView::QELSoundEffectSaveView(QWidget* parent) : View(parent) {
    setBackgroundColor(Color::c5());
    titleLabel_ = makeLabel(this, Font::t4(), Color::c1(), Qt::AlignCenter);
    titleLabel_->setText(tr("文件命名"));

    textField_ = new QELTextField(this);
    textField_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette p = textField_->palette();
    p.setColor(QPalette::Text, Color::c2());
    textField_->setPalette(p);
    textField_->setFont(Font::t2());
    // The field's own clear control is the one: two would overlap.
    textField_->setCornerRadius(4);
    textField_->setBackgroundImage(imageNamed(QStringLiteral("crack_img_input_background")));

    cancelButton_ = makeDialogButton(this, tr("取消"), Color::c6());
    confirmButton_ = makeDialogButton(this, tr("确定"), Color::c9());
    resize(intrinsicContentSize());
}

QSize QELSoundEffectSaveView::intrinsicContentSize() const {
    const double titleHeight = titleLabel_->sizeHint().height();
    const double height =
        titleHeight + kTitleTop + kSpacing + kFieldHeight + kSpacing + kButtonHeight + kSpacing;
    return QSize(static_cast<int>(std::lround(screenWidth() - kScreenInset)),
                 static_cast<int>(std::lround(height)));
}

void QELSoundEffectSaveView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    const double W = width();
    titleLabel_->adjustSize();
    setCenterX(titleLabel_, W * 0.5);
    setTop(titleLabel_, kTitleTop);

    textField_->resize(static_cast<int>(W - 2 * kSpacing), static_cast<int>(kFieldHeight));
    setCenterX(textField_, W * 0.5);
    setTop(textField_, bottom(titleLabel_) + kSpacing);

    // Two buttons of one width between 30-point margins, 15 apart.
    const double buttonWidth = (W - 2 * kSpacing - kButtonSpacing) / 2;
    const double buttonsTop = bottom(textField_) + kSpacing;
    cancelButton_->setGeometry(pixelRect(QRectF(kSpacing, buttonsTop, buttonWidth, kButtonHeight)));
    confirmButton_->setGeometry(pixelRect(
        QRectF(kSpacing + buttonWidth + kButtonSpacing, buttonsTop, buttonWidth, kButtonHeight)));
}
