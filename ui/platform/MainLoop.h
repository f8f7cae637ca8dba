#pragma once

#include <QObject>

namespace platform {

// Lets Qt's event loop drive the main run loop: new work wakes a queued call
// on the GUI thread that runs the loop until idle, and a timer fires at the
// next timer's due time. Call once on the GUI thread, after the
// application object exists; undone when `context` goes.
void bindMainRunLoopToQt(QObject* context);

// The name of the notification posted when the input method's keyboard
// rectangle changes, with "UIKeyboardFrameEndUserInfoKey" (x, y, width,
// height as an array of reals, in window coordinates) and
// "UIKeyboardAnimationDurationUserInfoKey" (seconds) in its user info.
inline constexpr const char* kKeyboardWillChangeFrameNotification =
    "UIKeyboardWillChangeFrameNotification";
inline constexpr const char* kKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline constexpr const char* kKeyboardAnimationDurationUserInfoKey =
    "UIKeyboardAnimationDurationUserInfoKey";

// Posts the keyboard notification whenever Qt's input method reports a new
// keyboard rectangle (never, on a desktop without a soft keyboard).
void postKeyboardNotifications(QObject* context);

// Posts did-become-active at once (call it when launching is done), then
// the application life-cycle notifications as Qt reports the application's
// state, and will-terminate when the application quits.
void postApplicationStateNotifications(QObject* context);

}  // namespace platform
