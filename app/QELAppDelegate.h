#pragma once

#include <QObject>
#include <memory>

#include "ui/platform/ViewController.h"

class QApplication;
class QELDBusService;
class QELGlobalHotkeys;
class QELRemoteCommands;
class QELTabBarController;

// Starts what the program needs once, then shows the tab bar in the main
// window.
class QELAppDelegate {
public:
    // What the analytics report as the application's identifier.
    static constexpr const char* kBundleIdentifier = "com.zentrik.quellio";

    QELAppDelegate();
    ~QELAppDelegate();
    // Always true.
    bool didFinishLaunching(QApplication& application);

    platform::Window* window() const { return window_.get(); }
    QELTabBarController* tabBarController() const { return tabBarController_.get(); }
    // What comes from outside the window: the session bus, hotkeys.
    QELRemoteCommands* remoteCommands() const { return remoteCommands_.get(); }
    QELDBusService* busService() const { return busService_.get(); }
    QELGlobalHotkeys* globalHotkeys() const { return globalHotkeys_.get(); }
    // Brings the window to the front, restored if it was minimised.
    void raiseWindow();

private:
    // Ties the run-loop binding and the notification sources to this
    // delegate's life.
    std::unique_ptr<QObject> context_;
    std::unique_ptr<platform::Window> window_;
    std::shared_ptr<QELTabBarController> tabBarController_;
    std::unique_ptr<QELRemoteCommands> remoteCommands_;
    std::unique_ptr<QELDBusService> busService_;
    std::unique_ptr<QELGlobalHotkeys> globalHotkeys_;
};
