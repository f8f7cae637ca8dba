#include "app/QELAppDelegate.h"

#include <QApplication>
#include <QScreen>

#include "analytics/TLANProtocolData.h"
#include "app/QELDBusService.h"
#include "app/QELTabBarController.h"
#include "audio/AudioEngine.h"
#include "audio/AudioSession.h"
#include "core/remote/QELHotkeys.h"
#include "core/remote/QELRemoteCommands.h"
#include "ui/hotkeys/QELGlobalHotkeys.h"
#include "core/settings/QELAudioRouting.h"
#include "ui/board/QELSoundEffectListViewController.h"
#include "ui/mine/QELMySoundEffectsViewController.h"
#include "ui/platform/MainLoop.h"
#include "ui/statistics/QELStatistics.h"
#include "ui/utils/QELNavigationAlert.h"

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
    busService_.reset();
    globalHotkeys_.reset();
    remoteCommands_.reset();
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
    // to silence when no device opens. The outputs and the virtual
    // microphone open now, not on the first tap, and go when the program
    // quits; what they have to say shows as a navigation alert.
    platform::AudioSession::sharedInstance().setCategory(
        platform::AudioSession::Category::PlayAndRecord);
    QELAudioRouting& routing = QELAudioRouting::shared();
    routing.setNoticeHandler([](const std::string& message) {
        QELNavigationAlertManager::showAlert(QELNavigationAlert(QString::fromStdString(message)));
    });
    routing.start();
    QObject::connect(&application, &QCoreApplication::aboutToQuit, context_.get(),
                     [] { QELAudioRouting::shared().stop(); });

    window_ = std::make_unique<platform::Window>();
    window_->setWindowTitle(QStringLiteral("声匣"));
    tabBarController_ = std::make_shared<QELTabBarController>();
    window_->setRootViewController(tabBarController_);
    window_->show();

    auto& board = tabBarController_->soundEffectListViewController();
    auto& mine = tabBarController_->mySoundEffectsViewController();
    remoteCommands_ = std::make_unique<QELRemoteCommands>(board.viewModel(), mine.viewModel());
    remoteCommands_->setBoardTap([&board](const platform::IndexPath& indexPath,
                                          platform::AudioError* error) {
        return board.tapItemAtIndexPath(indexPath, error);
    });
    remoteCommands_->setFavoriteTap([&mine](const platform::IndexPath& indexPath,
                                            platform::AudioError* error) {
        return mine.tapItemAtIndexPath(indexPath, error);
    });
    busService_ = std::make_unique<QELDBusService>(*remoteCommands_, [this] { raiseWindow(); });
    globalHotkeys_ = std::make_unique<QELGlobalHotkeys>([this](const QELHotkey& hotkey) {
        QELHotkeys::fire(hotkey, *remoteCommands_);
    });
    busService_->setGlobalHotkeys(globalHotkeys_.get());
    for (const QELKeyCombo& combo : globalHotkeys_->setHotkeys(QELHotkeys().all())) {
        QELNavigationAlertManager::showAlert(QELNavigationAlert(
            QStringLiteral("快捷键 %1 已被其他程序占用").arg(QString::fromStdString(combo.text()))));
    }
    // Launched means active, as on the phone: the analytics session begins.
    platform::postApplicationStateNotifications(context_.get());
    return true;
}

void QELAppDelegate::raiseWindow() {
    if (!window_) return;
    if (window_->isMinimized()) window_->showNormal();
    window_->show();
    window_->raise();
    window_->activateWindow();
}
