#include "QELAppDelegate.h"

#include <QApplication>

#include "audio/AudioEngine.h"
#include "ui/board/QELSoundEffectListViewController.h"
#include "ui/platform/MainLoop.h"
#include "ui/platform/Palette.h"
#include "ui/statistics/QELStatistics.h"
#include "ui/utils/QELNavigationController.h"

QELAppDelegate::QELAppDelegate() = default;

QELAppDelegate::~QELAppDelegate() {
    window_.reset();
    board_.reset();
}

void QELAppDelegate::didFinishLaunching() {
    platform::bindMainRunLoopToQt(qApp);
    platform::postApplicationStateNotifications(qApp);
    platform::postKeyboardNotifications(qApp);
    installStatisticsHooks();
    setupStatistics();
    // The device opens now, not on the first tap.
    platform::AudioEngine::shared().startIfNeeded();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit,
                     [] { platform::AudioEngine::shared().stop(); });

    window_ = std::make_unique<platform::Window>();
    window_->setWindowTitle(QStringLiteral("声匣"));
    // The tab bar's background, which the screens' clear backgrounds show.
    window_->setBackgroundColor(platform::Color::c6());
    board_ = std::make_shared<QELSoundEffectListViewController>(
        std::make_shared<QELSoundEffectListViewModel>());
    window_->setRootViewController(createNavigationController(board_));
    window_->show();
}
