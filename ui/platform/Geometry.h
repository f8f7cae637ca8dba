#pragma once

#include <QWidget>

// Frame accessors every view has, in points. Setters keep the other frame
// components.
namespace platform {

inline double left(const QWidget* v) {
    return v->x();
}
inline double top(const QWidget* v) {
    return v->y();
}
inline double width(const QWidget* v) {
    return v->width();
}
inline double height(const QWidget* v) {
    return v->height();
}
inline double right(const QWidget* v) {
    return v->x() + v->width();
}
inline double bottom(const QWidget* v) {
    return v->y() + v->height();
}
inline double centerX(const QWidget* v) {
    return v->x() + v->width() / 2.0;
}
inline double centerY(const QWidget* v) {
    return v->y() + v->height() / 2.0;
}

void setLeft(QWidget* v, double value);
void setTop(QWidget* v, double value);
void setRight(QWidget* v, double value);
void setBottom(QWidget* v, double value);
void setCenterX(QWidget* v, double value);
void setCenterY(QWidget* v, double value);
void setWidth(QWidget* v, double value);
void setHeight(QWidget* v, double value);

// Widgets sit on whole points: each edge of a fractional frame goes to the
// nearest point, so neighbours neither overlap nor leave a gap.
QRect pixelRect(const QRectF& frame);

}  // namespace platform
