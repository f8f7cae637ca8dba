#include "ui/platform/Geometry.h"

#include <cmath>

namespace platform {

namespace {
int round(double v) {
    return static_cast<int>(std::lround(v));
}
}  // namespace

void setLeft(QWidget* v, double value) {
    v->move(round(value), v->y());
}
void setTop(QWidget* v, double value) {
    v->move(v->x(), round(value));
}
void setRight(QWidget* v, double value) {
    setLeft(v, value - v->width());
}
void setBottom(QWidget* v, double value) {
    setTop(v, value - v->height());
}
void setCenterX(QWidget* v, double value) {
    setLeft(v, value - v->width() / 2.0);
}
void setCenterY(QWidget* v, double value) {
    setTop(v, value - v->height() / 2.0);
}
void setWidth(QWidget* v, double value) {
    v->resize(round(value), v->height());
}
void setHeight(QWidget* v, double value) {
    v->resize(v->width(), round(value));
}

QRect pixelRect(const QRectF& frame) {
    const int x = round(frame.left()), y = round(frame.top());
    return QRect(x, y, round(frame.right()) - x, round(frame.bottom()) - y);
}

}  // namespace platform
