#include <cmath>

#include "ui/UiTest.h"
#include "ui/maker/QELWaveFormView.h"
#include "ui/platform/Palette.h"

namespace {

double halfLength(const QLineF& bar) {
    return (bar.y2() - bar.y1()) / 2;
}

TEST(WaveFormView, SilenceDrawsShortDashesOnTheMidlineAndFullLevelPeaksAtTheCentre) {
    QELWaveFormView view;
    view.updateWithLevel(0);
    auto bars = view.bars({320, 284});
    ASSERT_GE(bars.size(), 36u);
    for (const auto& bar : bars) {
        EXPECT_DOUBLE_EQ(halfLength(bar), 0.5);
        EXPECT_DOUBLE_EQ((bar.y1() + bar.y2()) / 2, 142);
    }

    // Full level: 70 points at the centre (bar 18, x = 160), nothing at the
    // edge, nothing taller anywhere.
    view.updateWithLevel(1);
    bars = view.bars({320, 284});
    EXPECT_DOUBLE_EQ(halfLength(bars.front()), 0.5);
    for (const auto& bar : bars) EXPECT_LE(halfLength(bar), 70.0 + 1e-4);
    EXPECT_NEAR(bars[18].x1(), 160, 1e-9);
    EXPECT_NEAR(halfLength(bars[18]), 70.0, 1e-3);
}

TEST(WaveFormView, LevelBelowIdleAmplitudeDrawsIdleAndNoWidthNoBars) {
    QELWaveFormView quiet, idle;
    idle.idleAmplitude = 0.4;
    idle.updateWithLevel(0.1);
    EXPECT_DOUBLE_EQ(idle.amplitude, 0.4);
    quiet.updateWithLevel(0.4);
    const auto a = idle.bars({320, 284}), b = quiet.bars({320, 284});
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i], b[i]);
    EXPECT_TRUE(quiet.bars({0, 100}).empty());
}

TEST(WaveFormView, FillsABackgroundColourBeforeTheBars) {
    QELWaveFormView view;
    view.resize(320, 284);
    view.setBackgroundColor(Qt::blue);
    view.updateWithLevel(1);
    const QImage image = view.grab().toImage();
    EXPECT_EQ(image.pixelColor(2, 2).rgb(), QColor(Qt::blue).rgb());
    EXPECT_EQ(image.pixelColor(160, 142).rgb(), platform::Color::c9().rgb());
}

}  // namespace
