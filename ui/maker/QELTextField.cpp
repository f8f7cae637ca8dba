#include "ui/maker/QELTextField.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFrame>

#include "ui/platform/Image.h"

using namespace platform;

QELTextField::QELTextField(QWidget* parent) : QLineEdit(parent) {
    setFrame(false);
    setClearButtonEnabled(false);
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::transparent);
    setPalette(p);
    setAttribute(Qt::WA_TranslucentBackground);

    rightView_ = new QWidget(this);
    rightView_->resize(kRightViewSize);
    clearButton_ = new Button(rightView_);
    clearButton_->setGeometry(0, 0, kClearButtonSize, kClearButtonSize);
    clearButton_->setImage(imageNamed(QStringLiteral("crackl_btn_remove_normal"),
                                      QSizeF(kClearButtonSize, kClearButtonSize)));
    clearButton_->setCursor(Qt::ArrowCursor);
    clearButton_->addTarget(this, {"clearClicked:", [this](Control&) { clearClicked(); }},
                            ControlEventTouchUpInside);
    // The right view lies outside the contents, so the line edit's own
    // clear button (when shown) stands left of it.
    setContentsMargins(0, 0, kRightViewSize.width(), 0);
    setTextMargins(kLeftViewWidth, 0, 0, 0);
}

void QELTextField::setBackgroundImage(const QPixmap& image) {
    background_ = image;
    update();
}

void QELTextField::setCornerRadius(double radius) {
    cornerRadius_ = radius;
    update();
}

void QELTextField::clearClicked() {
    setText(QString());
}

void QELTextField::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (cornerRadius_ > 0) {
            QPainterPath clip;
            clip.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
            painter.setClipPath(clip);
        }
        if (!background_.isNull()) {
            const double scale = background_.devicePixelRatio();
            const int cap = kBackgroundCapInset;
            const int source = qRound(cap * scale);
            qDrawBorderPixmap(&painter, rect(), QMargins(cap, cap, cap, cap), background_,
                              background_.rect(), QMargins(source, source, source, source));
        }
    }
    QLineEdit::paintEvent(event);
}

void QELTextField::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    rightView_->move(width() - rightView_->width(), (height() - rightView_->height()) / 2);
}
