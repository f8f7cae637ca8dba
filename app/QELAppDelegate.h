#pragma once

#include <QObject>
#include <memory>

#include "ui/platform/ViewController.h"

class QApplication;
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
private:
    void installShortcuts();

    // Ties the run-loop binding and the notification sources to this
    // delegate's life.
    std::unique_ptr<QObject> context_;
    std::unique_ptr<platform::Window> window_;
    std::shared_ptr<QELTabBarController> tabBarController_;
};
