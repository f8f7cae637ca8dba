#pragma once

#include <QColor>
#include <QLineF>
#include <vector>

#include "ui/platform/View.h"

// The microphone level as a row of vertical bars: a cosine wave under a
// parabolic envelope, symmetric about the horizontal midline.
class QELWaveFormView : public platform::View {
public:
    explicit QELWaveFormView(QWidget* parent = nullptr);

    // Adds phaseShift to the phase, takes the level (at least idleAmplitude)
    // and asks for a redraw.
    void updateWithLevel(double level);

    // The bars for a view of `size`, from the current fields.
    std::vector<QLineF> bars(QSizeF size) const;

    QColor waveColor;
    double idleAmplitude = 0;
    double amplitude = 0;
    double lineWidth = 2.0;
    float frequency = 5.0f;
    float phaseShift = 0;

    float phase() const { return phase_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float phase_ = 0;
};
