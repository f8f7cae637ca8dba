#pragma once

#include <memory>

#include "ui/platform/NavigationController.h"

// Every tab's navigation: the dark bar with its 1-point line; the bar of the
// screen that appeared last carries the navigation alerts.
class QELNavigationController : public platform::NavigationController {
public:
    using platform::NavigationController::NavigationController;
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
};

// A navigation controller with `controller` at its root.
std::shared_ptr<QELNavigationController> createNavigationController(
    std::shared_ptr<platform::ViewController> controller);
