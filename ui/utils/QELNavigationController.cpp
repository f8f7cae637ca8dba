#include "ui/utils/QELNavigationController.h"

#include <QEvent>

#include "ui/platform/Palette.h"
#include "ui/utils/QELNavigationAlert.h"

using namespace platform;

namespace {
// Keeps the bar's bottom line along its bottom edge as the bar resizes.
class BottomLine : public QObject {
public:
    explicit BottomLine(QWidget* line) : QObject(line), line_(line) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            auto* bar = static_cast<QWidget*>(watched);
            line_->setGeometry(0, bar->height() - 1, bar->width(), 1);
        }
        return false;
    }

private:
    QWidget* line_;
};
}  // namespace

void QELNavigationController::viewDidLoad() {
    NavigationController::viewDidLoad();
    NavigationBar* bar = navigationBar();
    bar->setBackgroundImage(QPixmap());
    bar->setShadowImage(QPixmap());
    bar->setBarTintColor(Color::c10());
    bar->setTintColor(Color::c1());
    bar->setTranslucent(false);
    bar->setTitleTextAttributes(Color::c2(), Font::t5());
    auto* line = new View(bar);
    line->setObjectName("QELNavigationBarLine");
    line->setBackgroundColor(Color::c7());
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    line->setGeometry(0, bar->height() - 1, bar->width(), 1);
    bar->installEventFilter(new BottomLine(line));
}

void QELNavigationController::viewDidAppear(bool animated) {
    NavigationController::viewDidAppear(animated);
    becomeCurrentAlertContainer(navigationBar());
}

void QELNavigationController::viewDidDisappear(bool animated) {
    NavigationController::viewDidDisappear(animated);
    resignCurrentAlertContainer(navigationBar());
}

std::shared_ptr<QELNavigationController> createNavigationController(
    std::shared_ptr<ViewController> controller) {
    return std::make_shared<QELNavigationController>(std::move(controller));
}
