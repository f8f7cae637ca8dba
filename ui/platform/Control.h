#pragma once

#include <QPixmap>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/platform/View.h"

namespace platform {

// Control event bits, as the phone platform numbers them.
enum ControlEvent : uint32_t {
    ControlEventTouchDown = 0x01,
    ControlEventTouchUpInside = 0x40,
    ControlEventTouchUpOutside = 0x80,
    ControlEventValueChanged = 0x1000,
};
using ControlEvents = uint32_t;

class Control;

// One action: a name that identifies it (the selector) and what it does.
struct ControlAction {
    std::string selector;
    std::function<void(Control& sender)> perform;
};

// A view that sends actions to targets for touch events. Mouse presses are
// touches: press is touch down, release inside or outside the bounds is
// touch up inside or outside.
class Control : public View {
public:
    explicit Control(QWidget* parent = nullptr);
    ~Control() override;

    // Adds the pair for `events`, then runs the add-target hook.
    void addTarget(const void* target, ControlAction action, ControlEvents events);
    void removeTarget(const void* target, ControlEvents events);
    // The selectors registered for `target` on one event.
    std::vector<std::string> actionsForTarget(const void* target, ControlEvent event) const;
    // Sends every action whose mask includes one of `events`, in the order added.
    void sendActionsForControlEvents(ControlEvents events);

    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted);

    // Called after every addTarget (statistics attach their logging here).
    using AddTargetHook = std::function<void(Control& control, const void* target,
                                             const ControlAction& action, ControlEvents events)>;
    static void setAddTargetHook(AddTargetHook hook);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Entry {
        const void* target;
        ControlAction action;
        ControlEvents events;
    };
    std::vector<Entry> targets_;
    bool highlighted_ = false;
    bool tracking_ = false;
};

// The states a button can show its own background image in.
enum class ControlState { Normal, Highlighted, Disabled, Selected };

// A control with a title or an image, over a background image per state.
class Button : public Control {
public:
    explicit Button(QWidget* parent = nullptr);
    void setTitle(const QString& title);
    QString title() const { return title_; }
    void setTitleColor(const QColor& color);
    void setFont(const QFont& font);
    void setImage(const QPixmap& image);
    // Stretched over the bounds; a state without one shows the normal one.
    void setBackgroundImage(const QPixmap& image, ControlState state);
    QPixmap backgroundImage(ControlState state) const;
    // The background image of the state the button is in now.
    QPixmap currentBackgroundImage() const;
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected);
    QSize sizeHint() const override;
    // Dims the button unless it has a highlighted image of its own.
    void setHighlighted(bool highlighted) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
    QColor titleColor_ = Qt::white;
    QPixmap image_;
    QPixmap backgrounds_[4];
    bool selected_ = false;
};

}  // namespace platform
