#include "app/QELAppDelegate.h"

#include <QApplication>
#include <QScreen>
#include <QShortcut>

#include "analytics/TLANProtocolData.h"
#include "app/QELTabBarController.h"
#include "audio/AudioEngine.h"
#include "audio/AudioSession.h"
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

    window_ = std::make_unique<platform::Window>();
    window_->setWindowTitle(QStringLiteral("声匣"));
    tabBarController_ = std::make_shared<QELTabBarController>();
    window_->setRootViewController(tabBarController_);
    installShortcuts();
    window_->show();
    // Launched means active, as on the phone: the analytics session begins.
    platform::postApplicationStateNotifications(context_.get());
    return true;
}

void QELAppDelegate::installShortcuts() {
    platform::Window* window = window_.get();
    for (int i = 0; i < 3; ++i) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + i)), window);
        QObject::connect(shortcut, &QShortcut::activated, window,
                         [this, i] { tabBarController_->userSelected(i); });
    }
    // The way out is the window's own: closing it is what quits, and
    // everything that must happen at the end hangs on that.
    auto* quit = new QShortcut(QKeySequence::Quit, window);
    if (quit->key().isEmpty()) quit->setKey(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QObject::connect(quit, &QShortcut::activated, window, [window] { window->close(); });
}
