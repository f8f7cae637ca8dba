#include "ui/platform/Image.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>

#include "foundation/Bundle.h"

namespace platform {

double screenScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

QPixmap roundedRectImage(QSizeF size, std::optional<QColor> fill,
                         std::optional<double> cornerRadius, std::optional<double> borderWidth,
                         std::optional<QColor> borderColor) {
    const double scale = screenScale();
    QPixmap image(std::max(1, static_cast<int>(std::ceil(size.width() * scale))),
                  std::max(1, static_cast<int>(std::ceil(size.height() * scale))));
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);

    const double border = borderWidth.value_or(0.0);
    const QRectF rect =
        QRectF(QPointF(0, 0), size).adjusted(border / 2, border / 2, -border / 2, -border / 2);
    QPainterPath path;
    if (cornerRadius && *cornerRadius > 0) {
        const double r = std::max(0.0, *cornerRadius - border / 2);
        path.addRoundedRect(rect, r, r);
    } else {
        path.addRect(rect);
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (fill) painter.fillPath(path, *fill);
    if (borderColor && border > 0) painter.strokePath(path, QPen(*borderColor, border));
    return image;
}

QPixmap imageNamed(const QString& name, QSizeF size) {
    const auto path = Bundle::main().pathForResource(name.toStdString(), "svg", "images");
    if (!path) return {};
    QSvgRenderer renderer(QString::fromStdString(*path));
    if (!renderer.isValid()) return {};
    if (size.isEmpty()) size = renderer.defaultSize();
    const double scale = screenScale();
    QPixmap image(static_cast<int>(std::ceil(size.width() * scale)),
                  static_cast<int>(std::ceil(size.height() * scale)));
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), size));
    return image;
}

}  // namespace platform
