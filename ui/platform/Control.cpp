#include "ui/platform/Control.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace platform {

namespace {
Control::AddTargetHook& addTargetHook() {
    static Control::AddTargetHook hook;
    return hook;
}
}  // namespace

void Control::setAddTargetHook(AddTargetHook hook) {
    addTargetHook() = std::move(hook);
}

Control::Control(QWidget* parent) : View(parent) {}
Control::~Control() = default;

void Control::addTarget(const void* target, ControlAction action, ControlEvents events) {
    // The same target and selector registered again widens its mask.
    auto it = std::find_if(targets_.begin(), targets_.end(), [&](const Entry& e) {
        return e.target == target && e.action.selector == action.selector;
    });
    if (it != targets_.end())
        it->events |= events;
    else
        targets_.push_back({target, action, events});
    if (const auto& hook = addTargetHook()) hook(*this, target, action, events);
}

void Control::removeTarget(const void* target, ControlEvents events) {
    for (auto& e : targets_) {
        if (!target || e.target == target) e.events &= ~events;
    }
    std::erase_if(targets_, [](const Entry& e) { return e.events == 0; });
}

std::vector<std::string> Control::actionsForTarget(const void* target, ControlEvent event) const {
    std::vector<std::string> selectors;
    for (const auto& e : targets_) {
        if (e.target == target && (e.events & event)) selectors.push_back(e.action.selector);
    }
    return selectors;
}

void Control::sendActionsForControlEvents(ControlEvents events) {
    // Copied: an action may add or remove targets.
    const std::vector<Entry> targets = targets_;
    for (const auto& e : targets) {
        if ((e.events & events) && e.action.perform) e.action.perform(*this);
    }
}

void Control::setHighlighted(bool highlighted) {
    highlighted_ = highlighted;
    update();
}

void Control::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    tracking_ = true;
    setHighlighted(true);
    sendActionsForControlEvents(ControlEventTouchDown);
}

void Control::mouseMoveEvent(QMouseEvent* event) {
    if (tracking_) setHighlighted(rect().contains(event->position().toPoint()));
}

void Control::mouseReleaseEvent(QMouseEvent* event) {
    if (!tracking_ || event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    tracking_ = false;
    setHighlighted(false);
    sendActionsForControlEvents(rect().contains(event->position().toPoint())
                                    ? ControlEventTouchUpInside
                                    : ControlEventTouchUpOutside);
}

Button::Button(QWidget* parent) : Control(parent) {
    setCursor(Qt::PointingHandCursor);
}

void Button::setTitle(const QString& title) {
    title_ = title;
    updateGeometry();
    update();
}

void Button::setTitleColor(const QColor& color) {
    titleColor_ = color;
    update();
}

void Button::setFont(const QFont& font) {
    QWidget::setFont(font);
    updateGeometry();
}

void Button::setImage(const QPixmap& image) {
    image_ = image;
    updateGeometry();
    update();
}

void Button::setBackgroundImage(const QPixmap& image, ControlState state) {
    backgrounds_[static_cast<int>(state)] = image;
    updateGeometry();
    update();
}

QPixmap Button::backgroundImage(ControlState state) const {
    return backgrounds_[static_cast<int>(state)];
}

QPixmap Button::currentBackgroundImage() const {
    const ControlState state = !isEnabled()      ? ControlState::Disabled
                               : isHighlighted() ? ControlState::Highlighted
                               : selected_       ? ControlState::Selected
                                                 : ControlState::Normal;
    const QPixmap& own = backgrounds_[static_cast<int>(state)];
    return own.isNull() ? backgrounds_[static_cast<int>(ControlState::Normal)] : own;
}

void Button::setSelected(bool selected) {
    selected_ = selected;
    update();
}

QSize Button::sizeHint() const {
    if (!image_.isNull()) return image_.deviceIndependentSize().toSize();
    const QPixmap& background = backgrounds_[static_cast<int>(ControlState::Normal)];
    if (!background.isNull()) return background.deviceIndependentSize().toSize();
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(title_) + 16, metrics.height() + 8);
}

void Button::setHighlighted(bool highlighted) {
    Control::setHighlighted(highlighted);
    if (backgrounds_[static_cast<int>(ControlState::Highlighted)].isNull())
        setAlpha(this, highlighted ? 0.5 : 1.0);
    else
        update();
}

void Button::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPixmap background = currentBackgroundImage();
    if (!background.isNull())
        painter.drawPixmap(QRectF(rect()), background, QRectF(background.rect()));
    if (!image_.isNull()) {
        const QSizeF size = image_.deviceIndependentSize();
        const QPointF origin = QRectF(rect()).center() - QPointF(size.width(), size.height()) / 2;
        painter.drawPixmap(QRectF(origin, size), image_, QRectF(image_.rect()));
    }
    if (!title_.isEmpty()) {
        painter.setPen(titleColor_);
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter, title_);
    }
}

}  // namespace platform
