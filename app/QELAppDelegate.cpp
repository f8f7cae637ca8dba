#include "app/QELAppDelegate.h"

#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>

#include "analytics/TLANProtocolData.h"
#include "app/QELTabBarController.h"
#include "audio/AudioEngine.h"
#include "audio/AudioSession.h"
#include "foundation/TerminationSignals.h"
#include "ui/platform/MainLoop.h"
#include "ui/statistics/QELStatistics.h"

namespace {

// The facts the analytics cannot learn below Qt.
void describeHostToAnalytics(const QApplication& application) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->size();
        TLANProtocolData::setScreen(TLANProtocolData::Screen{static_cast<double>(size.width()),
                                                             static_cast<double>(size.height()),
                                                             screen->devicePixelRatio()});
    }
    using platform::Value;
    TLANProtocolData::setApplicationInfo(
        {{"CFBundleIdentifier", Value(QELAppDelegate::kBundleIdentifier)},
         {"CFBundleDisplayName", Value(application.applicationDisplayName().toStdString())},
         {"CFBundleShortVersionString", Value(application.applicationVersion().toStdString())}});
}

}  // namespace

QELAppDelegate::QELAppDelegate() = default;

QELAppDelegate::~QELAppDelegate() {
    window_.reset();
    tabBarController_.reset();
    context_.reset();
}

bool QELAppDelegate::didFinishLaunching(QApplication& application) {
    context_ = std::make_unique<QObject>();
    platform::bindMainRunLoopToQt(context_.get());
    platform::postKeyboardNotifications(context_.get());
    // Before any control or screen exists.
    installStatisticsHooks();
    describeHostToAnalytics(application);

    setupStatistics();
    // Play and record at once; the engine logs (debug builds) and falls back
    // to silence when no device opens. It opens now, not on the first tap.
    platform::AudioSession::sharedInstance().setCategory(
        platform::AudioSession::Category::PlayAndRecord);
    platform::AudioEngine::shared().startIfNeeded();
    QObject::connect(&application, &QCoreApplication::aboutToQuit, context_.get(),
                     [] { platform::AudioEngine::shared().stop(); });

    // A desktop that ends the program (log-out, shutdown, a terminal's ^C)
    // ends it as closing the window does. main() installed the handlers
    // first, so a signal that came during launch is waiting on the pipe.
    if (const int fd = platform::TerminationSignals::install(); fd >= 0) {
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context_.get());
        QObject::connect(notifier, &QSocketNotifier::activated, context_.get(), [] {
            if (platform::TerminationSignals::take() != 0) quit();
        });
    }

    window_ = std::make_unique<platform::Window>();
    window_->setWindowTitle(QStringLiteral("声匣"));
    tabBarController_ = std::make_shared<QELTabBarController>();
    window_->setRootViewController(tabBarController_);
    window_->show();
    // Launched means active, as on the phone: the analytics session begins.
    platform::postApplicationStateNotifications(context_.get());
    return true;
}

void QELAppDelegate::quit() {
    // Closing the last window ends up here too (Qt quits on it); the work
    // of ending hangs off QCoreApplication::aboutToQuit.
    QCoreApplication::quit();
}
