#include "ui/maker/QELPopover.h"

#include <QApplication>
#include <QPointer>

#include "foundation/Fatal.h"
#include "foundation/RunLoop.h"
#include "ui/platform/Animation.h"
#include "ui/platform/Attached.h"
#include "ui/platform/Geometry.h"
#include "ui/platform/MainLoop.h"
#include "ui/platform/Palette.h"

using namespace platform;

namespace {

constexpr const char* kWindowKey = "QELPopoverWindow";
constexpr const char* kPreviousKeyWindowKey = "QELPopoverPreviousKeyWindow";
constexpr const char* kBackgroundViewKey = "QELPopoverBackgroundView";
constexpr const char* kKeyboardObserverKey = "QELPopoverKeyboardObserver";

template <typename T>
using Guarded = QPointer<T>;

template <typename T>
T* attachedWidget(QObject* owner, const char* key) {
    auto value = attached<Guarded<T>>(owner, key);
    return value ? value->data() : nullptr;
}

template <typename T>
void attachWidget(QObject* owner, const char* key, T* widget) {
    attachValue(owner, key, widget ? std::make_shared<Guarded<T>>(widget) : nullptr);
}

QELPopover& popover(ViewController& controller) {
    auto* p = dynamic_cast<QELPopover*>(&controller);
    if (!p) fatal("the controller is not a popover");
    return *p;
}

double number(const Value* v) {
    return v ? v->asReal().value_or(0) : 0;
}

void keyboardWillChangeFrame(QWidget* window, QWidget* card, const Notification& note) {
    const Value* frame = note.userInfo.find(kKeyboardFrameEndUserInfoKey);
    const Value* duration = note.userInfo.find(kKeyboardAnimationDurationUserInfoKey);
    if (!frame || !frame->asArray() || frame->asArray()->size() != 4 || !duration)
        fatal("keyboard notification without its end frame or duration");
    const double keyboardTop = number(&(*frame->asArray())[1]);
    const double H = window->height();
    const double centreY = H * 0.5 - (H - keyboardTop) * 0.5;
    QRectF target = card->geometry();
    target.moveTop(centreY - target.height() / 2);
    animate(
        number(duration), 0, AnimationCurve::EaseInOut,
        [&](AnimationChanges& c) { c.frame(card, target); }, {}, card);
}

}  // namespace

void showPopover(ViewController& controller, QELPopoverCompletion completion) {
    QObject* owner = controller.view();
    if (attachedWidget<View>(owner, kBackgroundViewKey)) {
        if (completion) completion(controller);
        return;
    }
    Window* mainWindow = Window::main();
    if (!mainWindow) fatal("a popover needs the main window");
    QWidget* card = controller.view();

    QWidget* window = mainWindow->addLayer();
    attachWidget(owner, kWindowKey, window);
    QPointer<QWidget> cardGuard(card);
    QPointer<QWidget> windowGuard(window);
    auto token =
        std::make_shared<NotificationToken>(NotificationCenter::defaultCenter().addObserver(
            kKeyboardWillChangeFrameNotification, nullptr, RunLoop::main(),
            [windowGuard, cardGuard](const Notification& note) {
                if (windowGuard && cardGuard) keyboardWillChangeFrame(windowGuard, cardGuard, note);
            }));
    attachValue(owner, kKeyboardObserverKey, token);

    attachWidget(owner, kPreviousKeyWindowKey, QApplication::focusWidget());
    Window::setEscapeAction(window, [weak = controller.weak_from_this()] {
        if (auto self = weak.lock()) popover(*self).popover_cancel();
    });
    window->show();

    auto* background = new View(window);
    background->setProperty("platform.fillsLayer", true);
    background->setGeometry(window->rect());
    attachWidget(owner, kBackgroundViewKey, background);
    background->show();

    card->setParent(window);
    setAlpha(card, 0);
    if (auto* view = dynamic_cast<View*>(card)) view->setCornerRadius(kPopoverCornerRadius);
    const QSizeF size = popover(controller).popover_contentSize();
    card->resize(size.toSize());
    setCenterX(card, window->width() * 0.5);
    setCenterY(card, window->height() * 0.5);
    card->show();
    card->raise();
    card->setFocus();

    background->setBackgroundColor(Qt::transparent);
    auto weak = controller.weak_from_this();
    QPointer<View> backgroundGuard(background);
    animate(
        kPopoverDimDuration, 0, AnimationCurve::EaseInOut,
        [&](AnimationChanges& c) {
            c.color(Qt::transparent, HEXACOLOR(0x000000, 0.3),
                    [backgroundGuard](const QColor& col) {
                        if (backgroundGuard) backgroundGuard->setBackgroundColor(col);
                    });
        },
        [weak, cardGuard, completion](bool) {
            if (!cardGuard) return;
            animate(
                kPopoverFadeDuration, 0, AnimationCurve::EaseInOut,
                [&](AnimationChanges& c) { c.alpha(cardGuard, 1); },
                [weak, completion](bool) {
                    auto self = weak.lock();
                    if (self && completion) completion(*self);
                },
                cardGuard);
        },
        background);
}

void dismissPopover(ViewController& controller, QELPopoverCompletion completion) {
    QObject* owner = controller.view();
    QWidget* window = attachedWidget<QWidget>(owner, kWindowKey);
    View* background = attachedWidget<View>(owner, kBackgroundViewKey);
    if (!window || !background) {
        if (completion) completion(controller);
        return;
    }
    // Taps while the card fades go nowhere.
    window->setEnabled(false);
    if (QWidget* previous = attachedWidget<QWidget>(owner, kPreviousKeyWindowKey))
        previous->setFocus();
    attachValue(owner, kKeyboardObserverKey, nullptr);

    QWidget* card = controller.view();
    auto self = controller.shared_from_this();
    QPointer<QWidget> windowGuard(window);
    QPointer<View> backgroundGuard(background);
    animate(
        kPopoverFadeDuration, 0, AnimationCurve::EaseInOut,
        [&](AnimationChanges& c) { c.alpha(card, 0); },
        [self, windowGuard, backgroundGuard, completion](bool) {
            animate(
                kPopoverDimDuration, 0, AnimationCurve::EaseInOut,
                [&](AnimationChanges& c) {
                    if (!backgroundGuard) return;
                    c.color(backgroundGuard->backgroundColor(), Qt::transparent,
                            [backgroundGuard](const QColor& col) {
                                if (backgroundGuard) backgroundGuard->setBackgroundColor(col);
                            });
                },
                [self, windowGuard, completion](bool) {
                    if (completion) completion(*self);
                    QObject* owner = self->view();
                    if (windowGuard) {
                        windowGuard->hide();
                        // The card goes back to its controller before the layer goes.
                        self->view()->setParent(nullptr);
                        windowGuard->deleteLater();
                    }
                    attachValue(owner, kWindowKey, nullptr);
                    attachValue(owner, kBackgroundViewKey, nullptr);
                    attachValue(owner, kPreviousKeyWindowKey, nullptr);
                });
        },
        card);
}

QELPopoverState popoverState(ViewController& controller) {
    QObject* owner = controller.view();
    return {attachedWidget<QWidget>(owner, kWindowKey),
            attachedWidget<QWidget>(owner, kPreviousKeyWindowKey),
            attachedWidget<View>(owner, kBackgroundViewKey),
            attachedValue(owner, kKeyboardObserverKey) != nullptr};
}
