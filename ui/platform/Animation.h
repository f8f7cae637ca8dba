#pragma once

#include <QColor>
#include <QObject>
#include <QRectF>
#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace platform {

enum class AnimationCurve { EaseInOut, EaseIn, EaseOut, Linear };

// What one animate() call changes: each change goes from its current value
// to its target over the animation's time.
class AnimationChanges {
public:
    using Apply = std::function<void(double progress)>;
    // A numeric change; `apply` receives values between `from` and `to`.
    void value(double from, double to, std::function<void(double)> apply);
    void alpha(QWidget* view, double to);
    void frame(QWidget* view, const QRectF& to);
    void color(QColor from, QColor to, std::function<void(const QColor&)> apply);
    // A change computed from the progress (0 to 1, after the curve).
    void progress(Apply apply) { changes_.push_back(std::move(apply)); }

    const std::vector<Apply>& changes() const { return changes_; }

private:
    std::vector<Apply> changes_;
};

using AnimationCompletion = std::function<void(bool finished)>;

// Animates the changes over `duration` seconds after `delay`, then calls
// `completion` with true; removeAllAnimations() ends it early with false.
// `owner` ties the animation to an object: it ends (as not finished) when
// the owner goes or its animations are removed. The owner's `destroyed`
// comes when only its QObject is left, so an owner whose completions use it
// calls removeAllAnimations() in its own destructor.
void animate(double duration, double delay, AnimationCurve curve,
             const std::function<void(AnimationChanges&)>& changes,
             AnimationCompletion completion = {}, QObject* owner = nullptr);

// Ends every running animation of `owner`: values stay where they are and
// completions run with false.
void removeAllAnimations(QObject* owner);
size_t runningAnimationCount(QObject* owner);

// Tests: every animation jumps to its end and completes at once, so chains
// of animations run synchronously, in order.
void setAnimationsInstant(bool instant);
bool animationsInstant();

}  // namespace platform
