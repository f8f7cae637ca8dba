#include "ui/maker/QELWaveFormView.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/platform/Palette.h"

namespace {
constexpr double kVerticalMargin = 4.0;
constexpr double kBarCountDivisor = 36.0;
constexpr double kMaxCentreHalfLength = 70.0;
constexpr double kMinHalfLength = 0.5;
constexpr float kTwoPi = 6.2831855f;
}  // namespace

QELWaveFormView::QELWaveFormView(QWidget* parent)
    : platform::View(parent), waveColor(platform::Color::c9()) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void QELWaveFormView::updateWithLevel(double level) {
    phase_ += phaseShift;
    amplitude = std::max(level, idleAmplitude);
    update();
}

std::vector<QLineF> QELWaveFormView::bars(QSizeF size) const {
    const double W = size.width(), H = size.height();
    std::vector<QLineF> lines;
    // No width, no step: nothing to draw.
    if (W <= 0) return lines;
    const double halfHeight = H * 0.5;
    const double mid = W * 0.5;
    const double maxAmplitude = halfHeight - kVerticalMargin;
    const float centreArgument = kTwoPi * 0.5f * frequency + phase_;
    const double c = maxAmplitude * amplitude * std::cos(centreArgument);
    const double factor = c == 0 ? 1.0 : std::min(1.0, kMaxCentreHalfLength / std::fabs(c));
    const double step = W / kBarCountDivisor;
    for (double x = 0; x < W; x += step) {
        const double offset = (x - mid) * (1 / mid);
        const double scaling = 1 - offset * offset;
        const float argument =
            kTwoPi * (static_cast<float>(x) / static_cast<float>(W)) * frequency + phase_;
        const double v = factor * (maxAmplitude * scaling * amplitude) * std::cos(argument);
        const double h = std::max(kMinHalfLength, std::fabs(v));
        lines.emplace_back(x, halfHeight - h, x, halfHeight + h);
    }
    return lines;
}

void QELWaveFormView::paintEvent(QPaintEvent* event) {
    platform::View::paintEvent(event);
    QPainterPath path;
    for (const QLineF& line : bars(size())) {
        path.moveTo(line.p1());
        path.lineTo(line.p2());
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.strokePath(path, QPen(waveColor, lineWidth, Qt::SolidLine, Qt::RoundCap));
}
