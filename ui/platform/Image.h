#pragma once

#include <QColor>
#include <QPixmap>
#include <QSizeF>
#include <QString>
#include <optional>

namespace platform {

// A rounded rectangle drawn at the screen's scale: filled with `fill` and
// stroked with `borderColor` when given. The shape is inset by half the
// border so the stroke stays inside the image.
QPixmap roundedRectImage(QSizeF size, std::optional<QColor> fill,
                         std::optional<double> cornerRadius = std::nullopt,
                         std::optional<double> borderWidth = std::nullopt,
                         std::optional<QColor> borderColor = std::nullopt);

// An image of the program's resources ("images/<name>.svg"), rendered at
// `size` points (the SVG's own size when empty); a null pixmap when absent.
QPixmap imageNamed(const QString& name, QSizeF size = {});

// The device pixel ratio images are drawn at (the primary screen's).
double screenScale();

}  // namespace platform
