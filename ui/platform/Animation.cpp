#include "ui/platform/Animation.h"

#include <QEasingCurve>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>
#include <map>

#include "ui/platform/Geometry.h"
#include "ui/platform/View.h"

namespace platform {

void AnimationChanges::value(double from, double to, std::function<void(double)> apply) {
    changes_.push_back([=](double p) { apply(from + (to - from) * p); });
}

void AnimationChanges::alpha(QWidget* view, double to) {
    QPointer<QWidget> guard(view);
    value(platform::alpha(view), to, [guard](double a) {
        if (guard) setAlpha(guard, a);
    });
}

void AnimationChanges::frame(QWidget* view, const QRectF& to) {
    QPointer<QWidget> guard(view);
    const QRectF from = view->geometry();
    changes_.push_back([=](double p) {
        if (!guard) return;
        const QRectF r(from.x() + (to.x() - from.x()) * p, from.y() + (to.y() - from.y()) * p,
                       from.width() + (to.width() - from.width()) * p,
                       from.height() + (to.height() - from.height()) * p);
        guard->setGeometry(pixelRect(r));
    });
}

void AnimationChanges::color(QColor from, QColor to, std::function<void(const QColor&)> apply) {
    changes_.push_back([=](double p) {
        const auto mix = [p](float a, float b) { return a + (b - a) * static_cast<float>(p); };
        QColor c;
        c.setRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                  mix(from.blueF(), to.blueF()), mix(from.alphaF(), to.alphaF()));
        apply(c);
    });
}

namespace {

bool gInstant = false;

struct Running {
    QPointer<QVariantAnimation> animation;
    AnimationCompletion completion;
};

// Running animations by owner (null: unowned).
std::multimap<QObject*, std::shared_ptr<Running>>& registry() {
    static std::multimap<QObject*, std::shared_ptr<Running>> r;
    return r;
}

void forget(QObject* owner, const std::shared_ptr<Running>& running) {
    auto range = registry().equal_range(owner);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == running) {
            registry().erase(it);
            return;
        }
    }
}

QEasingCurve::Type easing(AnimationCurve curve) {
    switch (curve) {
        case AnimationCurve::EaseIn:
            return QEasingCurve::InQuad;
        case AnimationCurve::EaseOut:
            return QEasingCurve::OutQuad;
        case AnimationCurve::Linear:
            return QEasingCurve::Linear;
        case AnimationCurve::EaseInOut:
            break;
    }
    return QEasingCurve::InOutQuad;
}

}  // namespace

void setAnimationsInstant(bool instant) {
    gInstant = instant;
}
bool animationsInstant() {
    return gInstant;
}

void animate(double duration, double delay, AnimationCurve curve,
             const std::function<void(AnimationChanges&)>& changes, AnimationCompletion completion,
             QObject* owner) {
    AnimationChanges set;
    if (changes) changes(set);
    if (gInstant) {
        for (const auto& apply : set.changes()) apply(1.0);
        if (completion) completion(true);
        return;
    }
    auto running = std::make_shared<Running>();
    running->completion = std::move(completion);
    auto* animation = new QVariantAnimation();
    running->animation = animation;
    const int delayMs = static_cast<int>(delay * 1000 + 0.5);
    const int durationMs = static_cast<int>(duration * 1000 + 0.5);
    // The delay is a flat stretch at the start of one timeline, so that
    // removing the animation during the delay ends it like any other.
    const int total = std::max(1, delayMs + durationMs);
    animation->setDuration(total);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    const QEasingCurve ease(easing(curve));
    auto applies = std::make_shared<std::vector<AnimationChanges::Apply>>(set.changes());
    QObject::connect(animation, &QVariantAnimation::valueChanged, animation,
                     [applies, ease, delayMs, durationMs, total](const QVariant& v) {
                         const double ms = v.toDouble() * total;
                         if (ms < delayMs) return;
                         const double linear =
                             durationMs > 0 ? std::min(1.0, (ms - delayMs) / durationMs) : 1.0;
                         const double p = ease.valueForProgress(linear);
                         for (const auto& apply : *applies) apply(p);
                     });
    QObject::connect(animation, &QVariantAnimation::finished, animation, [owner, running] {
        forget(owner, running);
        if (running->animation) running->animation->deleteLater();
        if (auto done = std::move(running->completion)) done(true);
    });
    registry().emplace(owner, running);
    if (owner) {
        QObject::connect(owner, &QObject::destroyed, animation,
                         [owner] { removeAllAnimations(owner); });
    }
    animation->start();
}

void removeAllAnimations(QObject* owner) {
    std::vector<std::shared_ptr<Running>> ended;
    auto range = registry().equal_range(owner);
    for (auto it = range.first; it != range.second; ++it) ended.push_back(it->second);
    registry().erase(owner);
    for (const auto& running : ended) {
        if (running->animation) {
            running->animation->disconnect();
            running->animation->stop();
            running->animation->deleteLater();
        }
        if (auto done = std::move(running->completion)) done(false);
    }
}

size_t runningAnimationCount(QObject* owner) {
    return registry().count(owner);
}

}  // namespace platform
