#include "ui/platform/ViewController.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <cxxabi.h>

#include <QEvent>
#include <QKeyEvent>
#include <QResizeEvent>
#include <cstdlib>
#include <typeinfo>

#include "foundation/RunLoop.h"
#include "ui/platform/Animation.h"
#include "ui/platform/NavigationController.h"

namespace platform {

namespace {

ViewController::AppearanceHook& appearanceHook() {
    static ViewController::AppearanceHook hook;
    return hook;
}

// Tells a controller when its root view changes size.
class LayoutObserver : public QObject {
public:
    LayoutObserver(QWidget* view, ViewController* controller)
        : QObject(view), controller_(controller) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) controller_->viewDidLayoutSubviews();
        return false;
    }

private:
    ViewController* controller_;
};

std::string demangle(const char* name) {
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && text ? text : name;
    std::free(text);
    return result;
}

Window*& mainWindow() {
    static Window* window = nullptr;
    return window;
}

constexpr const char* kLayerProperty = "platform.layer";
constexpr double kPresentationDuration = 0.3;

}  // namespace

void ViewController::setAppearanceHook(AppearanceHook hook) {
    appearanceHook() = std::move(hook);
}

ViewController::ViewController() = default;

ViewController::~ViewController() {
    if (presentationLayer_) delete presentationLayer_.data();
    delete view_.data();
}

QWidget* ViewController::view() {
    if (!view_) {
        loadView();
        if (!view_) setView(new View());
        view_->installEventFilter(new LayoutObserver(view_, this));
        viewDidLoad();
    }
    return view_;
}

void ViewController::loadView() {
    setView(new View());
}

void ViewController::setView(QWidget* view) {
    view_ = view;
}

void ViewController::setTitle(const QString& title) {
    title_ = title;
    if (navigationController_) navigationController_->updateBar();
}

TabBarController* ViewController::tabBarController() const {
    if (tabBarController_) return tabBarController_;
    return navigationController_ ? navigationController_->tabBarController() : nullptr;
}

void ViewController::viewWillAppear(bool) {
    if (const auto& hook = appearanceHook()) hook(*this, Appearance::WillAppear);
}
void ViewController::viewDidAppear(bool) {
    if (const auto& hook = appearanceHook()) hook(*this, Appearance::DidAppear);
}
void ViewController::viewWillDisappear(bool) {
    if (const auto& hook = appearanceHook()) hook(*this, Appearance::WillDisappear);
}
void ViewController::viewDidDisappear(bool) {
    if (const auto& hook = appearanceHook()) hook(*this, Appearance::DidDisappear);
}

void ViewController::beginAppearanceTransition(bool appearing, bool animated) {
    view();
    transition_ = appearing ? Transition::Appearing : Transition::Disappearing;
    transitionAnimated_ = animated;
    appearing ? viewWillAppear(animated) : viewWillDisappear(animated);
}

void ViewController::endAppearanceTransition() {
    const Transition t = transition_;
    transition_ = Transition::None;
    if (t == Transition::Appearing) viewDidAppear(transitionAnimated_);
    if (t == Transition::Disappearing) viewDidDisappear(transitionAnimated_);
}

ViewController* ViewController::appearanceRoot() {
    return navigationController_ ? static_cast<ViewController*>(navigationController_) : this;
}

std::string ViewController::pageName() const {
    std::string name = demangle(typeid(*this).name());
    // The platform's own classes go by their plain name, the program's
    // carry the program's prefix.
    constexpr std::string_view platformPrefix = "platform::";
    if (name.starts_with(platformPrefix)) return name.substr(platformPrefix.size());
    return "Quellio." + name;
}

void ViewController::presentViewController(std::shared_ptr<ViewController> controller,
                                           bool animated, std::function<void()> completion) {
    Window* window = Window::main();
    if (!window || presented_ || !controller) {
        if (completion) completion();
        return;
    }
    presented_ = controller;
    controller->presenting_ = this;
    QWidget* layer = window->addLayer();
    controller->presentationLayer_ = layer;
    QWidget* view = controller->view();
    view->setParent(layer);
    view->setGeometry(0, layer->height(), layer->width(), layer->height());
    view->show();
    layer->show();
    std::weak_ptr<ViewController> weakPresented = controller;
    Window::setEscapeAction(layer, [weakPresented] {
        if (auto presented = weakPresented.lock()) presented->dismissViewController(true);
    });
    // The keyboard works the screen on top, not the one it covers.
    for (QWidget* child : view->findChildren<QWidget*>()) {
        if ((child->focusPolicy() & Qt::TabFocus) && child->isVisibleTo(view)) {
            child->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
    controller->beginAppearanceTransition(true, animated);
    // The container disappears as a whole, so that it hears it too.
    ViewController* covered = appearanceRoot();
    covered->beginAppearanceTransition(false, animated);
    auto weak = covered->weakSelf();
    animate(
        animated ? kPresentationDuration : 0, 0, AnimationCurve::EaseOut,
        [&](AnimationChanges& c) { c.frame(view, QRectF(layer->rect())); },
        [weak, controller, view, completion](bool) {
            view->setProperty("platform.fillsLayer", true);
            controller->endAppearanceTransition();
            if (auto self = weak.lock()) self->endAppearanceTransition();
            if (completion) completion();
        });
}

void ViewController::dismissViewController(bool animated, std::function<void()> completion) {
    if (!presented_) {
        if (presenting_) return presenting_->dismissViewController(animated, completion);
        // A screen inside a presented navigation controller dismisses that.
        if (navigationController_)
            return navigationController_->dismissViewController(animated, completion);
        if (completion) completion();
        return;
    }
    auto controller = presented_;
    QWidget* view = controller->view();
    view->setProperty("platform.fillsLayer", false);
    QPointer<QWidget> layer = controller->presentationLayer_;
    if (layer) layer->setEnabled(false);
    controller->beginAppearanceTransition(false, animated);
    ViewController* uncovered = appearanceRoot();
    uncovered->beginAppearanceTransition(true, animated);
    auto weak = weakSelf();
    auto weakUncovered = uncovered->weakSelf();
    animate(
        animated ? kPresentationDuration : 0, 0, AnimationCurve::EaseIn,
        [&](AnimationChanges& c) {
            c.frame(view, QRectF(0, view->height(), view->width(), view->height()));
        },
        [weak, weakUncovered, controller, layer, completion](bool) {
            controller->endAppearanceTransition();
            if (QWidget* v = controller->view()) v->setParent(nullptr);
            if (layer) layer->deleteLater();
            controller->presenting_ = nullptr;
            if (auto self = weak.lock()) self->presented_.reset();
            if (auto uncovered = weakUncovered.lock()) uncovered->endAppearanceTransition();
            if (completion) completion();
            // Released on a later turn: the dismissal may have begun in an
            // event of one of its own views, which must outlive that event.
            MainQueue::async([controller] {});
        });
}

Window::Window() {
    resize(kDefaultWidth, kDefaultHeight);
    setBackgroundColor(Qt::black);
    mainWindow() = this;
}

void Window::setBackgroundColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
    setAutoFillBackground(true);
}

Window::~Window() {
    if (mainWindow() == this) mainWindow() = nullptr;
    if (root_ && root_->view_) root_->view_->setParent(nullptr);
}

Window* Window::main() {
    return mainWindow();
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    if (root_ && root_->view_) root_->view_->setParent(nullptr);
    root_ = std::move(controller);
    if (!root_) return;
    QWidget* view = root_->view();
    view->setParent(this);
    view->setGeometry(rect());
    view->lower();
    view->show();
}

QWidget* Window::addLayer() {
    auto* layer = new QWidget(this);
    layer->setProperty(kLayerProperty, true);
    layer->setGeometry(rect());
    layer->raise();
    return layer;
}

namespace {
class EscapeAction : public QObject {
public:
    EscapeAction(QObject* parent, std::function<void()> action)
        : QObject(parent), action(std::move(action)) {}
    std::function<void()> action;
};

EscapeAction* escapeActionOf(QWidget* layer) {
    // No meta-object of its own: found by type among the direct children.
    for (QObject* child : layer->children())
        if (auto* action = dynamic_cast<EscapeAction*>(child)) return action;
    return nullptr;
}
}  // namespace

void Window::setEscapeAction(QWidget* layer, std::function<void()> action) {
    delete escapeActionOf(layer);
    if (action) new EscapeAction(layer, std::move(action));
}

void Window::setFilesDropped(std::function<void(const QStringList& paths)> action) {
    filesDropped_ = std::move(action);
    setAcceptDrops(static_cast<bool>(filesDropped_));
}

namespace {

QStringList localFiles(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) paths.append(url.toLocalFile());
    return paths;
}

}  // namespace

void Window::dragEnterEvent(QDragEnterEvent* event) {
    if (filesDropped_ && !localFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void Window::dropEvent(QDropEvent* event) {
    const QStringList paths = localFiles(event->mimeData());
    if (!filesDropped_ || paths.isEmpty()) return;
    event->acceptProposedAction();
    filesDropped_(paths);
}

void Window::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        const QObjectList& layers = children();
        for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
            auto* layer = qobject_cast<QWidget*>(*it);
            if (!layer || !layer->property(kLayerProperty).toBool() || !layer->isVisible())
                continue;
            // A layer on its way out takes no input, and nothing under it
            // is in reach.
            if (!layer->isEnabled()) break;
            auto* escape = escapeActionOf(layer);
            if (!escape) continue;
            auto action = escape->action;  // the action may remove the layer
            action();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void Window::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (root_ && root_->view_) root_->view_->setGeometry(rect());
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && widget->property(kLayerProperty).toBool()) {
            widget->setGeometry(rect());
            for (QObject* grandChild : widget->children()) {
                auto* view = qobject_cast<QWidget*>(grandChild);
                if (view && view->property("platform.fillsLayer").toBool())
                    view->setGeometry(widget->rect());
            }
        }
    }
}

void Window::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    mainWindow() = this;
    if (root_ && !appeared_) {
        appeared_ = true;
        root_->beginAppearanceTransition(true, false);
        root_->endAppearanceTransition();
    }
}

void Window::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (root_ && appeared_ && !event->spontaneous()) {
        appeared_ = false;
        root_->beginAppearanceTransition(false, false);
        root_->endAppearanceTransition();
    }
}

double screenWidth() {
    return Window::main() ? Window::main()->width() : Window::kDefaultWidth;
}
double screenHeight() {
    return Window::main() ? Window::main()->height() : Window::kDefaultHeight;
}

}  // namespace platform
