#include "ui/platform/NavigationController.h"

#include "ui/platform/Image.h"
#include "ui/platform/Palette.h"

namespace platform {

namespace {
constexpr int kBarMargin = 8;

void showItem(Button* button, const std::shared_ptr<BarButtonItem>& item, const QColor& tint) {
    button->setVisible(item != nullptr);
    if (!item) return;
    button->setTitle(item->title);
    button->setTitleColor(tint);
    button->setImage(item->imageName.isEmpty() ? QPixmap() : imageNamed(item->imageName));
    button->removeTarget(nullptr, ControlEventTouchUpInside);
    std::weak_ptr<BarButtonItem> weak = item;
    button->addTarget(button,
                      {"barButtonItemAction:",
                       [weak](Control&) {
                           if (auto i = weak.lock(); i && i->action) i->action();
                       }},
                      ControlEventTouchUpInside);
    button->resize(button->sizeHint());
}
}  // namespace

NavigationBar::NavigationBar(QWidget* parent) : View(parent) {
    setBackgroundColor(Qt::white);
    titleLabel_ = makeLabel(this, Font::t6(), Qt::black, Qt::AlignCenter);
    left_ = new Button(this);
    right_ = new Button(this);
    left_->hide();
    right_->hide();
}

void NavigationBar::setTintColor(const QColor& color) {
    tint_ = color;
    left_->setTitleColor(color);
    right_->setTitleColor(color);
}

void NavigationBar::setTitleTextAttributes(const QColor& color, const QFont& font) {
    setTextColor(titleLabel_, color);
    titleLabel_->setFont(font);
}

void NavigationBar::setItems(const QString& title, const NavigationItem& item) {
    titleLabel_->setText(title);
    showItem(left_, item.leftBarButtonItem, tint_);
    showItem(right_, item.rightBarButtonItem, tint_);
    layoutItems();
}

void NavigationBar::layoutItems() {
    titleLabel_->setGeometry(0, 0, width(), height());
    left_->move(kBarMargin, (height() - left_->height()) / 2);
    right_->move(width() - kBarMargin - right_->width(), (height() - right_->height()) / 2);
    titleLabel_->lower();
}

void NavigationBar::hangView(QWidget* view, int height) {
    hanging_ = view;
    hangingHeight_ = height;
    view->setParent(parentWidget());
    placeHangingView();
    view->raise();
}

void NavigationBar::releaseHangingView() {
    hanging_ = nullptr;
}

void NavigationBar::placeHangingView() {
    if (hanging_ && hanging_->parentWidget() == parentWidget())
        hanging_->setGeometry(x(), y() + height(), width(), hangingHeight_);
}

void NavigationBar::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    layoutItems();
    placeHangingView();
}

void NavigationBar::moveEvent(QMoveEvent* event) {
    View::moveEvent(event);
    placeHangingView();
}

NavigationController::NavigationController(std::shared_ptr<ViewController> root) {
    if (root) {
        root->navigationController_ = this;
        stack_.push_back(std::move(root));
    }
}

NavigationController::~NavigationController() {
    for (auto& c : stack_) {
        c->navigationController_ = nullptr;
        // The stack widget is about to delete the children's views with its
        // own; give them back to their controllers first.
        if (c->view_) c->view_->setParent(nullptr);
    }
}

void NavigationController::loadView() {
    auto* root = new View();
    bar_ = new NavigationBar(root);
    content_ = new QStackedWidget(root);
    setView(root);
    for (auto& c : stack_) content_->addWidget(c->view());
    if (!stack_.empty()) content_->setCurrentWidget(stack_.back()->view());
    bar_->raise();
    updateBar();
}

NavigationBar* NavigationController::navigationBar() {
    view();
    return bar_;
}

TabBarItem& NavigationController::tabBarItem() {
    return stack_.empty() ? ViewController::tabBarItem() : stack_.front()->tabBarItem();
}

ViewController* NavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back().get();
}

void NavigationController::updateBar() {
    if (!bar_) return;
    if (ViewController* top = topViewController())
        bar_->setItems(top->title(), top->navigationItem());
    else
        bar_->setItems({}, {});
}

void NavigationController::pushViewController(std::shared_ptr<ViewController> controller,
                                              bool animated) {
    view();
    ViewController* previous = topViewController();
    controller->navigationController_ = this;
    content_->addWidget(controller->view());
    if (previous) previous->beginAppearanceTransition(false, animated);
    controller->beginAppearanceTransition(true, animated);
    stack_.push_back(controller);
    content_->setCurrentWidget(controller->view());
    updateBar();
    if (previous) previous->endAppearanceTransition();
    controller->endAppearanceTransition();
}

void NavigationController::popViewController(bool animated) {
    if (stack_.size() < 2) return;
    auto top = stack_.back();
    ViewController* below = stack_[stack_.size() - 2].get();
    top->beginAppearanceTransition(false, animated);
    below->beginAppearanceTransition(true, animated);
    stack_.pop_back();
    content_->setCurrentWidget(below->view());
    content_->removeWidget(top->view());
    top->view()->setParent(nullptr);
    top->navigationController_ = nullptr;
    updateBar();
    top->endAppearanceTransition();
    below->endAppearanceTransition();
}

void NavigationController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (auto* top = topViewController()) top->beginAppearanceTransition(true, animated);
}
void NavigationController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    if (auto* top = topViewController()) top->endAppearanceTransition();
}
void NavigationController::viewWillDisappear(bool animated) {
    ViewController::viewWillDisappear(animated);
    if (auto* top = topViewController()) top->beginAppearanceTransition(false, animated);
}
void NavigationController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    if (auto* top = topViewController()) top->endAppearanceTransition();
}

void NavigationController::viewDidLayoutSubviews() {
    const int w = view()->width(), h = view()->height();
    bar_->setGeometry(0, 0, w, NavigationBar::kHeight);
    content_->setGeometry(0, NavigationBar::kHeight, w, h - NavigationBar::kHeight);
}

}  // namespace platform
