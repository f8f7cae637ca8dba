#include "ui/platform/TabBarController.h"

#include <QPainter>

#include "ui/platform/Palette.h"

namespace platform {

TabBarButton::TabBarButton(QWidget* parent) : Control(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TabBarButton::setItem(const TabBarItem& item) {
    item_ = item;
    update();
}

void TabBarButton::setSelected(bool selected) {
    selected_ = selected;
    update();
}

void TabBarButton::setTitleColors(const QColor& normal, const QColor& selected) {
    titleColor_ = normal;
    selectedTitleColor_ = selected;
    update();
}

QRectF TabBarButton::imageRect() const {
    const QPixmap& image =
        selected_ && !item_.selectedImage.isNull() ? item_.selectedImage : item_.image;
    const QSizeF size = image.deviceIndependentSize();
    const double area = height() - TabBar::kTitleHeight;
    QRectF rect(QPointF((width() - size.width()) / 2, (area - size.height()) / 2), size);
    // As edge insets do: the image's frame shrinks by them, so equal and
    // opposite insets move it.
    const QMarginsF& in = item_.imageInsets;
    return rect.adjusted(in.left(), in.top(), -in.right(), -in.bottom());
}

void TabBarButton::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPixmap& image =
        selected_ && !item_.selectedImage.isNull() ? item_.selectedImage : item_.image;
    if (!image.isNull()) painter.drawPixmap(imageRect(), image, QRectF(image.rect()));
    if (!item_.title.isEmpty()) {
        painter.setFont(Font::t1());
        painter.setPen(selected_ ? selectedTitleColor_ : titleColor_);
        painter.drawText(
            QRectF(0, height() - TabBar::kTitleHeight - 2, width(), TabBar::kTitleHeight),
            Qt::AlignCenter, item_.title);
    }
}

TabBar::TabBar(QWidget* parent) : View(parent) {
    setBackgroundColor(QColor(247, 247, 247));
}

void TabBar::setTranslucent(bool translucent) {
    translucent_ = translucent;
    if (layoutChanged_) layoutChanged_();
}

void TabBar::setTintColor(const QColor& color) {
    tint_ = color;
    for (TabBarButton* b : buttons_) b->setTitleColors(Qt::gray, color);
}

TabBarButton* TabBar::button(int index) const {
    return index >= 0 && index < count() ? buttons_[static_cast<size_t>(index)] : nullptr;
}

void TabBar::setItems(const std::vector<TabBarItem>& items, std::function<void(int)> onTap) {
    // Later: the tap that replaces the tabs may still be in a button's hands.
    for (TabBarButton* b : buttons_) {
        b->hide();
        b->deleteLater();
    }
    buttons_.clear();
    auto tap = std::make_shared<std::function<void(int)>>(std::move(onTap));
    for (size_t i = 0; i < items.size(); ++i) {
        auto* b = new TabBarButton(this);
        b->setItem(items[i]);
        b->setTitleColors(Qt::gray, tint_);
        b->addTarget(this,
                     {"tabBarItemAction:", [tap, i](Control&) { (*tap)(static_cast<int>(i)); }},
                     ControlEventTouchUpInside);
        b->show();
        buttons_.push_back(b);
    }
    layoutButtons();
}

void TabBar::setSelectedIndex(int index) {
    for (int i = 0; i < count(); ++i) buttons_[static_cast<size_t>(i)]->setSelected(i == index);
}

void TabBar::layoutButtons() {
    if (buttons_.empty()) return;
    const double w = static_cast<double>(width()) / count();
    for (int i = 0; i < count(); ++i) {
        // Whole points: neighbours neither overlap nor leave a gap.
        const int x0 = static_cast<int>(i * w), x1 = static_cast<int>((i + 1) * w);
        buttons_[static_cast<size_t>(i)]->setGeometry(x0, 0, x1 - x0, height());
    }
}

void TabBar::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    layoutButtons();
}

TabBarController::TabBarController() = default;

TabBarController::~TabBarController() {
    for (auto& c : controllers_) {
        c->tabBarController_ = nullptr;
        // The stack widget would delete the screens' views with its own;
        // they belong to their controllers.
        if (c->isViewLoaded() && content_ && c->view()->parentWidget() == content_)
            c->view()->setParent(nullptr);
    }
}

void TabBarController::loadView() {
    auto* root = new View();
    content_ = new QStackedWidget(root);
    bar_ = new TabBar(root);
    bar_->layoutChanged_ = [this] { viewDidLayoutSubviews(); };
    setView(root);
    bar_->raise();
    showTabs();
}

TabBar* TabBarController::tabBar() {
    view();
    return bar_;
}

void TabBarController::setViewControllers(
    std::vector<std::shared_ptr<ViewController>> controllers) {
    ViewController* previous = visible_ ? selectedViewController() : nullptr;
    if (previous) previous->beginAppearanceTransition(false, false);
    for (auto& c : controllers_) {
        c->tabBarController_ = nullptr;
        if (content_ && c->isViewLoaded() && c->view()->parentWidget() == content_) {
            content_->removeWidget(c->view());
            c->view()->setParent(nullptr);
        }
    }
    if (previous) previous->endAppearanceTransition();

    controllers_ = std::move(controllers);
    for (auto& c : controllers_) c->tabBarController_ = this;
    selected_ = controllers_.empty() ? -1 : 0;
    // Views load when this controller's own view does.
    if (!isViewLoaded()) return;
    ViewController* shown = visible_ ? selectedViewController() : nullptr;
    if (shown) shown->beginAppearanceTransition(true, false);
    showTabs();
    if (shown) shown->endAppearanceTransition();
}

void TabBarController::showTabs() {
    std::vector<TabBarItem> items;
    for (auto& c : controllers_) items.push_back(c->tabBarItem());
    // The buttons live in this controller's view, which goes with it.
    bar_->setItems(items, [this](int index) { userSelected(index); });
    bar_->setSelectedIndex(selected_);
    showSelected();
}

ViewController* TabBarController::selectedViewController() const {
    return selected_ >= 0 ? controllers_[static_cast<size_t>(selected_)].get() : nullptr;
}

void TabBarController::setSelectedIndex(int index) {
    if (index < 0 || index >= static_cast<int>(controllers_.size())) return;
    select(index);
}

void TabBarController::setSelectedViewController(ViewController* controller) {
    for (size_t i = 0; i < controllers_.size(); ++i) {
        if (controllers_[i].get() == controller) return select(static_cast<int>(i));
    }
}

void TabBarController::userSelected(int index) {
    if (index < 0 || index >= static_cast<int>(controllers_.size())) return;
    // The delegate may replace the tabs: keep the chosen one alive.
    const auto chosen = controllers_[static_cast<size_t>(index)];
    select(index);
    if (delegate_) delegate_->didSelectViewController(*this, *chosen);
}

void TabBarController::select(int index) {
    if (index == selected_) return;
    if (!isViewLoaded()) {
        selected_ = index;
        return;
    }
    ViewController* previous = selectedViewController();
    ViewController* next = controllers_[static_cast<size_t>(index)].get();
    if (visible_) {
        if (previous) previous->beginAppearanceTransition(false, false);
        next->beginAppearanceTransition(true, false);
    }
    selected_ = index;
    bar_->setSelectedIndex(index);
    showSelected();
    if (visible_) {
        if (previous) previous->endAppearanceTransition();
        next->endAppearanceTransition();
    }
}

void TabBarController::showSelected() {
    ViewController* shown = selectedViewController();
    if (!shown) return;
    QWidget* v = shown->view();
    if (v->parentWidget() != content_) content_->addWidget(v);
    content_->setCurrentWidget(v);
}

void TabBarController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    visible_ = true;
    if (auto* shown = selectedViewController()) shown->beginAppearanceTransition(true, animated);
}
void TabBarController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    if (auto* shown = selectedViewController()) shown->endAppearanceTransition();
}
void TabBarController::viewWillDisappear(bool animated) {
    ViewController::viewWillDisappear(animated);
    if (auto* shown = selectedViewController()) shown->beginAppearanceTransition(false, animated);
}
void TabBarController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    visible_ = false;
    if (auto* shown = selectedViewController()) shown->endAppearanceTransition();
}

void TabBarController::viewDidLayoutSubviews() {
    const int w = view()->width(), h = view()->height();
    bar_->setGeometry(0, h - TabBar::kHeight, w, TabBar::kHeight);
    // Under a translucent bar the screens reach the bottom edge.
    content_->setGeometry(0, 0, w, bar_->isTranslucent() ? h : h - TabBar::kHeight);
}

}  // namespace platform
