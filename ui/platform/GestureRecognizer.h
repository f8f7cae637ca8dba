#pragma once

#include <QObject>
#include <QPointF>
#include <cstdint>
#include <functional>

namespace platform {

// A press held still: Began once the press has lasted minimumPressDuration
// (on the main run loop's clock), Changed as it moves, Ended at release.
// A press released or moved too far before then fails quietly. The view
// that hit-tests feeds it the touches.
class LongPressGestureRecognizer : public QObject {
public:
    enum class State { Possible, Began, Changed, Ended, Cancelled, Failed };
    static constexpr double kDefaultMinimumPressDuration = 0.5;
    static constexpr double kDefaultAllowableMovement = 10;
    using Action = std::function<void(LongPressGestureRecognizer&)>;

    LongPressGestureRecognizer(Action action, QObject* parent = nullptr);

    State state() const { return state_; }
    double minimumPressDuration = kDefaultMinimumPressDuration;
    double allowableMovement = kDefaultAllowableMovement;

    void touchBegan(QPointF point);
    void touchMoved(QPointF point);
    void touchEnded();
    void touchCancelled();
    // Recognised at once, without a hold (a context click): Began, then Ended.
    void recognizeAt(QPointF point);
    // Whether the current or last touch was recognised as a long press; the
    // view then treats it as no tap.
    bool recognized() const { return recognized_; }

private:
    void setState(State state);

    Action action_;
    State state_ = State::Possible;
    QPointF start_;
    bool tracking_ = false;
    bool recognized_ = false;
    uint64_t touch_ = 0;  // tells a stale timer from the current touch's
};

}  // namespace platform
