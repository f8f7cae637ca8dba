#pragma once

#include <QMarginsF>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/platform/Control.h"

namespace platform {

class NavigationController;
class TabBarController;

// A button of a navigation bar.
struct BarButtonItem {
    QString title;
    QString imageName;  // an image of the resources, when not empty
    std::function<void()> action;

    // The platform's own "add" item.
    static std::shared_ptr<BarButtonItem> systemAdd(std::function<void()> action) {
        return std::make_shared<BarButtonItem>(
            BarButtonItem{{}, QStringLiteral("system_add"), std::move(action)});
    }
};

// What a navigation bar shows for the controller on top of it.
struct NavigationItem {
    std::shared_ptr<BarButtonItem> leftBarButtonItem;
    std::shared_ptr<BarButtonItem> rightBarButtonItem;
};

// What a tab bar shows for a controller: its title (none when empty) and
// its images, drawn as they are (never tinted). The insets move the image
// within its slot, in points, as the platform's edge insets do.
struct TabBarItem {
    QString title;
    QPixmap image;
    QPixmap selectedImage;
    QMarginsF imageInsets;  // left, top, right, bottom
};

// A screen: owns its root view, created on first use, and hears when it
// appears and disappears. Controllers are shared; callbacks hold them weakly.
class ViewController : public std::enable_shared_from_this<ViewController> {
public:
    ViewController();
    virtual ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    // The root view; loads it (loadView, viewDidLoad) on first call.
    QWidget* view();
    bool isViewLoaded() const { return view_ != nullptr; }

    virtual void loadView();
    virtual void viewDidLoad() {}
    // Overrides call these base versions: they run the page hooks.
    virtual void viewWillAppear(bool animated);
    virtual void viewDidAppear(bool animated);
    virtual void viewWillDisappear(bool animated);
    virtual void viewDidDisappear(bool animated);
    // The root view has its new size.
    virtual void viewDidLayoutSubviews() {}

    const QString& title() const { return title_; }
    void setTitle(const QString& title);
    NavigationItem& navigationItem() { return navigationItem_; }
    NavigationController* navigationController() const { return navigationController_; }
    // A navigation controller's tab comes from its root screen.
    virtual TabBarItem& tabBarItem() { return tabBarItem_; }
    // The tab bar controller this controller (or its navigation controller)
    // is a tab of.
    TabBarController* tabBarController() const;

    // Shows `controller` over the window, sliding up, then calls `completion`.
    void presentViewController(std::shared_ptr<ViewController> controller, bool animated,
                               std::function<void()> completion = {});
    // Dismisses what this controller presented (or this controller, when it
    // or its navigation controller was presented), sliding down, then calls
    // `completion`.
    void dismissViewController(bool animated, std::function<void()> completion = {});
    ViewController* presentedViewController() const { return presented_.get(); }
    ViewController* presentingViewController() const { return presenting_; }

    // The page name the statistics report: the type's name, with the
    // program's prefix for the program's own classes.
    virtual std::string pageName() const;
    virtual bool pageLogEnabled() const { return true; }

    // Called after the base appearance methods have run (statistics).
    enum class Appearance { WillAppear, DidAppear, WillDisappear, DidDisappear };
    using AppearanceHook = std::function<void(ViewController&, Appearance)>;
    static void setAppearanceHook(AppearanceHook hook);

    // Appearance calls, bracketed so containers forward them to children.
    void beginAppearanceTransition(bool appearing, bool animated);
    void endAppearanceTransition();

protected:
    void setView(QWidget* view);
    std::weak_ptr<ViewController> weakSelf() { return weak_from_this(); }
    // Whose appearance a presentation over this controller changes: its
    // navigation controller's, which passes it on, or its own.
    ViewController* appearanceRoot();

private:
    friend class NavigationController;
    friend class TabBarController;
    friend class Window;
    QPointer<QWidget> view_;
    QString title_;
    NavigationItem navigationItem_;
    NavigationController* navigationController_ = nullptr;
    TabBarItem tabBarItem_;
    TabBarController* tabBarController_ = nullptr;
    std::shared_ptr<ViewController> presented_;
    ViewController* presenting_ = nullptr;
    QPointer<QWidget> presentationLayer_;
    enum class Transition { None, Appearing, Disappearing } transition_ = Transition::None;
    bool transitionAnimated_ = false;
};

// The program's one window: its root controller fills it; layers above it
// (popovers, presented screens) are children laid over the whole window.
class Window : public QWidget {
public:
    static constexpr int kDefaultWidth = 375;
    static constexpr int kDefaultHeight = 667;

    Window();
    ~Window() override;
    // The window shown last (the application's key window).
    static Window* main();

    void setRootViewController(std::shared_ptr<ViewController> controller);
    ViewController* rootViewController() const { return root_.get(); }
    void setBackgroundColor(const QColor& color);
    // A new layer over everything, as large as the window and following it.
    QWidget* addLayer();
    // What Esc does while `layer` is the topmost layer that takes input
    // (the cancel of the card or screen it holds).
    static void setEscapeAction(QWidget* layer, std::function<void()> action);
    // Files dropped on the window (local paths); none set: drops are refused.
    void setFilesDropped(std::function<void(const QStringList& paths)> action);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::shared_ptr<ViewController> root_;
    bool appeared_ = false;
    std::function<void(const QStringList&)> filesDropped_;
};

// The width layouts follow: the main window's, else the default.
double screenWidth();
double screenHeight();

}  // namespace platform
