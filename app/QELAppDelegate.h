#pragma once

#include <QCoreApplication>
#include <QObject>
#include <memory>

#include "foundation/UserDefaults.h"
#include "ui/platform/ViewController.h"

class QApplication;
class QELDBusService;
class QELGlobalHotkeys;
class QELRemoteCommands;
class QELTabBarController;

// Starts what the program needs once, then shows the tab bar in the main
// window.
class QELAppDelegate {
    Q_DECLARE_TR_FUNCTIONS(QELAppDelegate)

public:
    // What the analytics report as the application's identifier.
    static constexpr const char* kBundleIdentifier = "com.zentrik.quellio";

    // The window's size and place between starts, in the user defaults.
    static constexpr const char* kWindowGeometryKey = "QELWindowGeometry";
    // Below this titles are clipped and the maker has no room.
    static constexpr int kMinimumWidth = 320;
    static constexpr int kMinimumHeight = 480;

    explicit QELAppDelegate(platform::UserDefaults& defaults = platform::UserDefaults::standard());
    ~QELAppDelegate();
    // Always true.
    bool didFinishLaunching(QApplication& application);
    // Ends the program the one way it ends, whatever asks: closing the window,
    // a key, or a signal from the desktop. The event loop stops and, as it
    // does, will-terminate is posted (the analytics end and save their
    // session) and the audio stream closes; main() then returns 0.
    static void quit();

    platform::Window* window() const { return window_.get(); }
    QELTabBarController* tabBarController() const { return tabBarController_.get(); }
    // Remembers the window's size and place for the next start (at quit).
    void saveWindowGeometry();
    // What comes from outside the window: the session bus, hotkeys.
    QELRemoteCommands* remoteCommands() const { return remoteCommands_.get(); }
    QELDBusService* busService() const { return busService_.get(); }
    QELGlobalHotkeys* globalHotkeys() const { return globalHotkeys_.get(); }
    // Brings the window to the front, restored if it was minimised.
    void raiseWindow();

private:
    void restoreWindowGeometry();
    void restoreStoredWindowGeometry();
    void installShortcuts();

    platform::UserDefaults& defaults_;
    // Ties the run-loop binding and the notification sources to this
    // delegate's life.
    std::unique_ptr<QObject> context_;
    std::unique_ptr<platform::Window> window_;
    std::shared_ptr<QELTabBarController> tabBarController_;
    std::unique_ptr<QELRemoteCommands> remoteCommands_;
    std::unique_ptr<QELDBusService> busService_;
    std::unique_ptr<QELGlobalHotkeys> globalHotkeys_;
};
