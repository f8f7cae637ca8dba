#pragma once

#include <QSizeF>
#include <functional>

#include "foundation/NotificationCenter.h"
#include "ui/platform/ViewController.h"

// A controller shown as a card in the middle of the window over a dimmed
// background, in a layer of its own above the window's content.
class QELPopover {
public:
    virtual ~QELPopover() = default;
    virtual QSizeF popover_contentSize() const = 0;
    // What Esc does while the card is up: what its cancel button does.
    virtual void popover_cancel() {}
};

using QELPopoverCompletion = std::function<void(platform::ViewController&)>;

// The fade-in of the dimming and of the card, then the completion. A
// controller that is shown already completes at once.
void showPopover(platform::ViewController& controller, QELPopoverCompletion completion = {});
// The fade-out, then the completion, then the layer goes.
void dismissPopover(platform::ViewController& controller, QELPopoverCompletion completion = {});

// What a popover controller has attached while shown (tests look at it).
struct QELPopoverState {
    QWidget* popoverWindow = nullptr;
    QWidget* previousKeyWidget = nullptr;
    platform::View* backgroundView = nullptr;
    bool observesKeyboard = false;
};
QELPopoverState popoverState(platform::ViewController& controller);

inline constexpr double kPopoverDimDuration = 0.1;
inline constexpr double kPopoverFadeDuration = 0.2;
inline constexpr double kPopoverCornerRadius = 10;
