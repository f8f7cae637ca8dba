#pragma once

#include <QStackedWidget>
#include <functional>
#include <memory>
#include <vector>

#include "ui/platform/ViewController.h"

namespace platform {

// One slot of a tab bar: its item's image (the selected image while
// selected) over its title.
class TabBarButton : public Control {
public:
    explicit TabBarButton(QWidget* parent = nullptr);
    void setItem(const TabBarItem& item);
    const TabBarItem& item() const { return item_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    void setTitleColors(const QColor& normal, const QColor& selected);
    // Where the image is drawn, in the button's coordinates.
    QRectF imageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TabBarItem item_;
    bool selected_ = false;
    QColor titleColor_ = Qt::gray, selectedTitleColor_ = Qt::white;
};

// The bar along the bottom of a tab bar controller: one button per tab,
// all as wide.
class TabBar : public View {
public:
    static constexpr int kHeight = 49;
    // The strip under the images that titles use; images are centred above it.
    static constexpr int kTitleHeight = 12;

    explicit TabBar(QWidget* parent = nullptr);

    void setBarTintColor(const QColor& color) { setBackgroundColor(color); }
    QColor barTintColor() const { return backgroundColor(); }
    // The colour of the selected title (images are never tinted).
    void setTintColor(const QColor& color);
    QColor tintColor() const { return tint_; }
    // An opaque bar sits below the screens; a translucent one over them.
    void setTranslucent(bool translucent);
    bool isTranslucent() const { return translucent_; }

    int count() const { return static_cast<int>(buttons_.size()); }
    TabBarButton* button(int index) const;

private:
    friend class TabBarController;
    void setItems(const std::vector<TabBarItem>& items, std::function<void(int)> onTap);
    void setSelectedIndex(int index);
    void layoutButtons();
    void resizeEvent(QResizeEvent* event) override;

    std::vector<TabBarButton*> buttons_;
    std::function<void()> layoutChanged_;
    QColor tint_ = QColor(0, 122, 255);
    bool translucent_ = true;
};

class TabBarControllerDelegate {
public:
    virtual ~TabBarControllerDelegate() = default;
    // The user chose `controller`'s tab (also when it was already chosen);
    // selections made in code are not reported.
    virtual void didSelectViewController(TabBarController& tabBarController,
                                         ViewController& controller) = 0;
};

// Screens side by side behind a bar of tabs; only the selected one shows and
// hears appearance calls. A screen's view loads when its tab is first shown.
class TabBarController : public ViewController {
public:
    TabBarController();
    ~TabBarController() override;

    TabBar* tabBar();
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers);
    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const {
        return controllers_;
    }
    // -1 when there are no tabs.
    int selectedIndex() const { return selected_; }
    void setSelectedIndex(int index);
    ViewController* selectedViewController() const;
    void setSelectedViewController(ViewController* controller);
    // As if the user had tapped the tab (keyboard shortcuts): the delegate hears.
    void userSelected(int index);
    // Not owned: the delegate outlives the controller or clears itself.
    void setDelegate(TabBarControllerDelegate* delegate) { delegate_ = delegate; }
    TabBarControllerDelegate* delegate() const { return delegate_; }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewDidLayoutSubviews() override;

private:
    void select(int index);
    void showTabs();
    void showSelected();

    std::vector<std::shared_ptr<ViewController>> controllers_;
    int selected_ = -1;
    // Between viewWillAppear and viewDidDisappear: tab changes are
    // appearance changes of the screens.
    bool visible_ = false;
    TabBarControllerDelegate* delegate_ = nullptr;
    TabBar* bar_ = nullptr;
    QStackedWidget* content_ = nullptr;
};

}  // namespace platform
