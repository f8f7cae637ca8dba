#pragma once

#include <QLabel>
#include <QStackedWidget>

#include "ui/platform/ViewController.h"

namespace platform {

// The bar over a navigation controller's screens: the top controller's
// title between its left and right bar-button items.
class NavigationBar : public View {
public:
    static constexpr int kHeight = 44;

    explicit NavigationBar(QWidget* parent = nullptr);

    void setBarTintColor(const QColor& color) { setBackgroundColor(color); }
    QColor barTintColor() const { return backgroundColor(); }
    void setTintColor(const QColor& color);
    QColor tintColor() const { return tint_; }
    void setTitleTextAttributes(const QColor& color, const QFont& font);
    void setTranslucent(bool translucent) { translucent_ = translucent; }
    bool isTranslucent() const { return translucent_; }
    // The bar's background and shadow images; a null pixmap draws nothing.
    void setBackgroundImage(const QPixmap& image) { backgroundImage_ = image; }
    void setShadowImage(const QPixmap& image) { shadowImage_ = image; }

    void setItems(const QString& title, const NavigationItem& item);
    QString title() const { return titleLabel_->text(); }
    Button* leftButton() const { return left_; }
    Button* rightButton() const { return right_; }

    // A view that hangs below the bar, as wide as it, over the screen's
    // content (widgets cannot draw outside their parent, so it lives in the
    // bar's parent and follows the bar).
    void hangView(QWidget* view, int height);
    // Stops following; the view stays where it is.
    void releaseHangingView();
    QWidget* hangingView() const { return hanging_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void layoutItems();
    void placeHangingView();
    QLabel* titleLabel_;
    Button* left_;
    Button* right_;
    QColor tint_ = Qt::white;
    bool translucent_ = true;
    QPixmap backgroundImage_, shadowImage_;
    QPointer<QWidget> hanging_;
    int hangingHeight_ = 0;
};

// A stack of screens under a navigation bar. Only the top screen shows.
class NavigationController : public ViewController {
public:
    explicit NavigationController(std::shared_ptr<ViewController> root);
    ~NavigationController() override;

    NavigationBar* navigationBar();
    void pushViewController(std::shared_ptr<ViewController> controller, bool animated);
    void popViewController(bool animated);
    ViewController* topViewController() const;
    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
    TabBarItem& tabBarItem() override;

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewDidLayoutSubviews() override;

private:
    friend class ViewController;
    void updateBar();
    std::vector<std::shared_ptr<ViewController>> stack_;
    NavigationBar* bar_ = nullptr;
    QStackedWidget* content_ = nullptr;
};

}  // namespace platform
