#include "ui/platform/View.h"

#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace platform {

double alpha(const QWidget* view) {
    const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(view->graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

void setAlpha(QWidget* view, double alpha) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect());
    if (alpha >= 1.0) {
        // Fully opaque views paint directly: an effect costs an offscreen pass.
        if (effect) view->setGraphicsEffect(nullptr);
        return;
    }
    if (!effect) {
        effect = new QGraphicsOpacityEffect(view);
        view->setGraphicsEffect(effect);
    }
    effect->setOpacity(std::max(0.0, alpha));
}

View::View(QWidget* parent) : QWidget(parent) {}

void View::setBackgroundColor(const QColor& color) {
    backgroundColor_ = color;
    pattern_ = {};
    update();
}

void View::setBackgroundPattern(const QPixmap& pattern) {
    pattern_ = pattern;
    update();
}

void View::setCornerRadius(double radius) {
    cornerRadius_ = radius;
    updateMask();
    update();
}

void View::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateMask();
}

void View::updateMask() {
    if (cornerRadius_ <= 0) {
        clearMask();
        return;
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void View::paintEvent(QPaintEvent*) {
    if (pattern_.isNull() && backgroundColor_.alpha() == 0) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
    if (!pattern_.isNull())
        painter.fillPath(path, QBrush(pattern_));
    else
        painter.fillPath(path, backgroundColor_);
}

ImageView::ImageView(QWidget* parent) : View(parent) {}

void ImageView::setImage(const QPixmap& image) {
    image_ = image;
    update();
}

void ImageView::sizeToFit() {
    const QPoint centre = geometry().center();
    resize(image_.deviceIndependentSize().toSize());
    move(centre - QPoint(width() / 2, height() / 2));
}

void ImageView::setScale(QSizeF scale) {
    scale_ = scale;
    update();
}

void ImageView::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF size = image_.deviceIndependentSize();
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(scale_.width(), scale_.height());
    painter.drawPixmap(QRectF(QPointF(-size.width() / 2, -size.height() / 2), size), image_,
                       QRectF(image_.rect()));
}

QLabel* makeLabel(QWidget* parent, const QFont& font, const QColor& color,
                  Qt::Alignment alignment) {
    auto* label = new QLabel(parent);
    label->setFont(font);
    label->setAlignment(alignment);
    setTextColor(label, color);
    return label;
}

void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

}  // namespace platform
