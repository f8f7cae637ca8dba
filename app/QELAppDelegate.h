#pragma once

#include <memory>

#include "ui/platform/ViewController.h"

class QELSoundEffectListViewController;

// Starts what the program needs once, then shows the board in its
// navigation controller in the main window.
class QELAppDelegate {
public:
    QELAppDelegate();
    ~QELAppDelegate();
    void didFinishLaunching();
    platform::Window& window() { return *window_; }
    QELSoundEffectListViewController& board() { return *board_; }

private:
    std::unique_ptr<platform::Window> window_;
    std::shared_ptr<QELSoundEffectListViewController> board_;
};
