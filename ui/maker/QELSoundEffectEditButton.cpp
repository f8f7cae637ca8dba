#include "ui/maker/QELSoundEffectEditButton.h"

#include <QFontMetricsF>
#include <QPainter>

#include "ui/platform/Image.h"
#include "ui/platform/Palette.h"
#include "ui/utils/QELCoreText.h"

using namespace platform;

namespace {

QString imageName(QELSoundEffectEditType type) {
    switch (type) {
        case QELSoundEffectEditType::Uncle:
            return QStringLiteral("crack_img_uncle");
        case QELSoundEffectEditType::Loli:
            return QStringLiteral("crack_img_roli");
        case QELSoundEffectEditType::Fast:
            return QStringLiteral("crack_img_fast");
        case QELSoundEffectEditType::Slow:
            return QStringLiteral("crack_img_slow");
        case QELSoundEffectEditType::Origin:
            break;
    }
    return {};
}

}  // namespace

QELSoundEffectEditButton::QELSoundEffectEditButton(QELSoundEffectEditType editType, QWidget* parent)
    : Button(parent), editType_(editType), bottomView_(new View(this)) {
    const QString name = imageName(editType);
    if (!name.isEmpty()) picture_ = imageNamed(name);
    bottomView_->setBackgroundColor(Color::c9());
    bottomView_->resize(kUnderlineSize.toSize());
    bottomView_->hide();
    resize(sizeHint());
    layoutBottomView();
}

void QELSoundEffectEditButton::setSelected(bool selected) {
    Button::setSelected(selected);
    bottomView_->setVisible(selected);
}

QString QELSoundEffectEditButton::titleText() const {
    return QELCoreText(::title(editType_));
}

QFont QELSoundEffectEditButton::titleFont() const {
    if (!isSelected()) return Font::t2();
    QFont bold = Font::font(12);
    bold.setBold(true);
    return bold;
}

QColor QELSoundEffectEditButton::titleColor() const {
    return isSelected() ? Color::c1() : Color::c3();
}

QRectF QELSoundEffectEditButton::imageRect() const {
    const QSizeF size = picture_.deviceIndependentSize();
    return QRectF(QPointF((width() - size.width()) * 0.5, 0), size);
}

QRectF QELSoundEffectEditButton::titleRect() const {
    // Measured in the normal font, so selecting does not move the title.
    const QFontMetricsF metrics(Font::t2());
    const double top = picture_.deviceIndependentSize().height() + kImageTitleSpacing;
    return QRectF(0, top, width(), metrics.height());
}

QSize QELSoundEffectEditButton::sizeHint() const {
    const QSizeF image = picture_.deviceIndependentSize();
    const QFontMetricsF metrics(Font::t2());
    // As wide as the picture: the picker spaces buttons by it.
    return QSizeF(image.width(),
                  image.height() + kImageTitleSpacing + metrics.height() + kContentBottomInset)
        .toSize();
}

void QELSoundEffectEditButton::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!picture_.isNull()) painter.drawPixmap(imageRect(), picture_, QRectF(picture_.rect()));
    painter.setFont(titleFont());
    painter.setPen(titleColor());
    painter.drawText(titleRect(), Qt::AlignCenter | Qt::TextDontClip, titleText());
}

void QELSoundEffectEditButton::resizeEvent(QResizeEvent* event) {
    Button::resizeEvent(event);
    layoutBottomView();
}

void QELSoundEffectEditButton::layoutBottomView() {
    const QRectF title = titleRect();
    bottomView_->move(qRound(width() * 0.5 - bottomView_->width() * 0.5),
                      qRound(title.top() + title.height() + kUnderlineGap));
}
