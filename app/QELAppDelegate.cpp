#include "app/QELAppDelegate.h"

#include <QApplication>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QStringList>

#include "analytics/device/TLANProtocolData.h"
#include "app/QELDBusService.h"
#include "app/QELTabBarController.h"
#include "audio/AudioEngine.h"
#include "audio/AudioSession.h"
#include "core/remote/QELHotkeys.h"
#include "core/remote/QELRemoteCommands.h"
#include "core/settings/QELAudioRouting.h"
#include "foundation/TerminationSignals.h"
#include "ui/board/QELSoundEffectListViewController.h"
#include "ui/hotkeys/QELHotkeyBackends.h"
#include "ui/mine/QELImportController.h"
#include "ui/mine/QELMySoundEffectsViewController.h"
#include "ui/platform/MainLoop.h"
#include "ui/statistics/QELStatistics.h"
#include "ui/utils/QELCoreText.h"
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

QELAppDelegate::QELAppDelegate(platform::UserDefaults& defaults) : defaults_(defaults) {}

QELAppDelegate::~QELAppDelegate() {
    busService_.reset();
    // After the window: a hotkey capture still open with it grabs again as
    // it goes.
    window_.reset();
    tabBarController_.reset();
    globalHotkeys_.reset();
    remoteCommands_.reset();
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
        QELNavigationAlertManager::showAlert(QELNavigationAlert(QELCoreText(message)));
    });
    routing.start();
    QObject::connect(&application, &QCoreApplication::aboutToQuit, context_.get(), [this] {
        saveWindowGeometry();
        QELAudioRouting::shared().stop();
    });

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
    window_->setWindowTitle(tr("声匣"));
    window_->setMinimumSize(kMinimumWidth, kMinimumHeight);
    restoreWindowGeometry();
    tabBarController_ = std::make_shared<QELTabBarController>();
    window_->setRootViewController(tabBarController_);
    window_->setFilesDropped(
        [](const QStringList& paths) { QELImportController::shared().importFiles(paths); });
    installShortcuts();
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
    globalHotkeys_ = createGlobalHotkeys([this](const QELHotkey& hotkey) {
        QELHotkeys::fire(hotkey, *remoteCommands_);
    });
    busService_->setGlobalHotkeys(globalHotkeys_.get());
    tabBarController_->setGlobalHotkeys(globalHotkeys_.get());
    for (const QELKeyCombo& combo : globalHotkeys_->setHotkeys(QELHotkeys().all())) {
        QELNavigationAlertManager::showAlert(QELNavigationAlert(
            tr("快捷键 %1 已被其他程序占用").arg(QString::fromStdString(combo.text()))));
    }
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

void QELAppDelegate::saveWindowGeometry() {
    if (!window_) return;
    // The frame's place (what move() takes) and the content's size.
    const QRect g(window_->pos(), window_->size());
    defaults_.setObject(platform::Value(QStringLiteral("%1,%2,%3,%4")
                                            .arg(g.x())
                                            .arg(g.y())
                                            .arg(g.width())
                                            .arg(g.height())
                                            .toStdString()),
                        kWindowGeometryKey);
}

void QELAppDelegate::restoreWindowGeometry() {
    restoreStoredWindowGeometry();
    // The phone-sized default (or a size kept from a larger screen) can be
    // taller than the screen at a scale factor of 2, which would put the
    // tab bar out of reach below its bottom edge.
    if (const QScreen* screen = window_->screen()) {
        window_->resize(window_->size()
                            .boundedTo(screen->availableGeometry().size())
                            .expandedTo(window_->minimumSize()));
    }
}

void QELAppDelegate::restoreStoredWindowGeometry() {
    const auto stored = defaults_.stringForKey(kWindowGeometryKey);
    if (!stored) return;
    const QStringList parts = QString::fromStdString(*stored).split(QLatin1Char(','));
    if (parts.size() != 4) return;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].toInt(&ok);
        if (!ok) return;
    }
    const QRect g(v[0], v[1], std::max(v[2], kMinimumWidth), std::max(v[3], kMinimumHeight));
    window_->resize(g.size());
    // Where it was, unless that screen has gone: then the desktop places it.
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(g)) {
            window_->move(g.topLeft());
            break;
        }
    }
}

void QELAppDelegate::quit() {
    // Closing the last window ends up here too (Qt quits on it); the work
    // of ending hangs off QCoreApplication::aboutToQuit.
    QCoreApplication::quit();
}

void QELAppDelegate::raiseWindow() {
    if (!window_) return;
    if (window_->isMinimized()) window_->showNormal();
    window_->show();
    window_->raise();
    window_->activateWindow();
}
