#include "ui/platform/GestureRecognizer.h"

#include <QLineF>
#include <QPointer>
#include <chrono>

#include "foundation/RunLoop.h"

namespace platform {

LongPressGestureRecognizer::LongPressGestureRecognizer(Action action, QObject* parent)
    : QObject(parent), action_(std::move(action)) {}

void LongPressGestureRecognizer::setState(State state) {
    state_ = state;
    if (state == State::Began || state == State::Changed || state == State::Ended ||
        state == State::Cancelled) {
        if (action_) action_(*this);
    }
}

void LongPressGestureRecognizer::touchBegan(QPointF point) {
    if (tracking_) touchCancelled();
    tracking_ = true;
    recognized_ = false;
    start_ = point;
    state_ = State::Possible;
    const uint64_t touch = ++touch_;
    // The run loop's clock, not a wall-clock timer: tests hold a press for
    // exactly as long as they mean to.
    QPointer<LongPressGestureRecognizer> guard(this);
    RunLoop::main().postAfter(std::chrono::duration_cast<Clock::Duration>(
                                  std::chrono::duration<double>(minimumPressDuration)),
                              [guard, touch] {
                                  if (!guard || guard->touch_ != touch || !guard->tracking_ ||
                                      guard->state_ != State::Possible)
                                      return;
                                  guard->recognized_ = true;
                                  guard->setState(State::Began);
                              });
}

void LongPressGestureRecognizer::touchMoved(QPointF point) {
    if (!tracking_) return;
    if (state_ == State::Possible) {
        if (QLineF(start_, point).length() > allowableMovement) {
            tracking_ = false;
            state_ = State::Failed;
        }
        return;
    }
    if (state_ == State::Began || state_ == State::Changed) setState(State::Changed);
}

void LongPressGestureRecognizer::touchEnded() {
    if (!tracking_) return;
    tracking_ = false;
    if (state_ == State::Began || state_ == State::Changed)
        setState(State::Ended);
    else
        state_ = State::Failed;
}

void LongPressGestureRecognizer::touchCancelled() {
    if (!tracking_) return;
    tracking_ = false;
    if (state_ == State::Began || state_ == State::Changed)
        setState(State::Cancelled);
    else
        state_ = State::Failed;
}

void LongPressGestureRecognizer::recognizeAt(QPointF point) {
    if (tracking_) touchCancelled();
    ++touch_;  // a pending hold of an earlier touch no longer counts
    start_ = point;
    recognized_ = true;
    setState(State::Began);
    setState(State::Ended);
}

}  // namespace platform
