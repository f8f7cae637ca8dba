#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "ui/platform/View.h"

namespace platform {
class NavigationBar;
}  // namespace platform

// A short message that slides down under the navigation bar.
struct QELNavigationAlert {
    explicit QELNavigationAlert(QString title);
    QString title;
    double duration = 2.0;
    QColor backgroundColor;
    QFont font;
    QColor titleColor;
};

// The panel that shows one alert: it slides down, rests for the alert's
// duration and slides back up.
class QELNavigationAlertView : public platform::View {
public:
    static constexpr int kHeight = 40;
    static constexpr double kSlideDuration = 0.45;

    QELNavigationAlertView();
    ~QELNavigationAlertView() override;
    void showAlert(const QELNavigationAlert& alert, std::function<void()> completion);
    QSize sizeHint() const override;

    QLabel* titleLabel() const { return titleLabel_; }
    platform::View* contentView() const { return contentView_; }
    const std::optional<QELNavigationAlert>& alert() const { return alert_; }
    bool isShowingContent() const { return isShowingContent_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Where the panel sits: inside the view while showing, above it otherwise.
    QRectF contentFrame() const;
    void updateConstraints();
    QLabel* titleLabel_;
    platform::View* contentView_;
    std::optional<QELNavigationAlert> alert_;
    bool isShowingContent_ = false;
};

// Queues alerts from any thread and shows them one at a time, in order, on
// the main thread.
class QELNavigationAlertManager {
public:
    static void showAlert(const QELNavigationAlert& alert);
    // Drops the alerts not yet shown; the one on screen finishes.
    static void clearAlertQueue();
    // Shared, created on first use, kept for the process.
    static QELNavigationAlertView& alertView();

    static size_t queuedCount();
    static bool isShowing();

private:
    static void showNextAlert(bool onlyIfIdle, std::function<void()> completion);
    static std::mutex mutex_;
    static std::deque<QELNavigationAlert> queue_;
    static bool showing_;
};

// Makes `bar` hold the shared alert view, directly below it and as wide
// (once the alert on screen, if any, has finished where it is).
void becomeCurrentAlertContainer(platform::NavigationBar* bar);
void resignCurrentAlertContainer(platform::NavigationBar* bar);
// Moves the alert view under the bar of the screen that appeared last.
void followCurrentAlertContainer();
