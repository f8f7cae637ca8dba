// The containers of screens, a navigation stack and a tab bar, checked by
// the appearance calls their screens get.
#include <QTest>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/UiTest.h"
#include "ui/platform/NavigationController.h"
#include "ui/platform/TabBarController.h"

using namespace platform;
using uitest::drain;
using Log = std::vector<std::string>;

namespace {

// A screen that writes its appearance calls ("A+" will appear, "A!" did
// appear, "A-" will disappear, "A." did disappear) into a shared log.
class LoggingController : public ViewController {
public:
    LoggingController(std::string name, std::shared_ptr<std::vector<std::string>> log)
        : name_(std::move(name)), log_(std::move(log)) {}
    void viewWillAppear(bool animated) override {
        ViewController::viewWillAppear(animated);
        log_->push_back(name_ + "+");
    }
    void viewDidAppear(bool animated) override {
        ViewController::viewDidAppear(animated);
        log_->push_back(name_ + "!");
    }
    void viewWillDisappear(bool animated) override {
        ViewController::viewWillDisappear(animated);
        log_->push_back(name_ + "-");
    }
    void viewDidDisappear(bool animated) override {
        ViewController::viewDidDisappear(animated);
        log_->push_back(name_ + ".");
    }
    std::string pageName() const override { return name_; }

private:
    std::string name_;
    std::shared_ptr<std::vector<std::string>> log_;
};

Log take(Log& log) {
    return std::exchange(log, {});
}

class NavigationTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        log = std::make_shared<Log>();
        root = std::make_shared<LoggingController>("R", log);
        root->setTitle("根");
        nav = std::make_shared<NavigationController>(root);
        window = uitest::showInWindow(nav);
        take(*log);
    }
    void TearDown() override {
        window.reset();
        UiTest::TearDown();
    }
    std::shared_ptr<LoggingController> screen(const char* name) {
        return std::make_shared<LoggingController>(name, log);
    }

    std::shared_ptr<Log> log;
    std::shared_ptr<LoggingController> root;
    std::shared_ptr<NavigationController> nav;
    std::unique_ptr<Window> window;
};

TEST_F(NavigationTest, PushAndPopHandTheBarToTheTopScreen) {
    auto top = screen("T");
    top->setTitle("顶");
    top->navigationItem().rightBarButtonItem =
        std::make_shared<BarButtonItem>(BarButtonItem{"完成", {}, {}});
    nav->pushViewController(top, true);
    EXPECT_EQ(take(*log), (Log{"R-", "T+", "R.", "T!"}));
    EXPECT_EQ(top->navigationController(), nav.get());
    EXPECT_EQ(nav->navigationBar()->title(), "顶");
    EXPECT_TRUE(nav->navigationBar()->rightButton()->isVisibleTo(nav->navigationBar()));
    EXPECT_EQ(nav->navigationBar()->rightButton()->title(), "完成");
    // A title set while on top shows at once.
    top->setTitle("新");
    EXPECT_EQ(nav->navigationBar()->title(), "新");

    nav->popViewController(true);
    EXPECT_EQ(take(*log), (Log{"T-", "R+", "T.", "R!"}));
    EXPECT_EQ(nav->navigationBar()->title(), "根");
    EXPECT_FALSE(nav->navigationBar()->rightButton()->isVisibleTo(nav->navigationBar()));
    EXPECT_EQ(top->navigationController(), nullptr);
    // The root is never popped.
    nav->popViewController(true);
    EXPECT_EQ(nav->viewControllers().size(), 1u);
    EXPECT_TRUE(log->empty());
}

TEST_F(NavigationTest, PresentedScreenSlidesUpAndDismissesBeforeItsCompletion) {
    auto modal = screen("M");
    Log* l = log.get();
    nav->presentViewController(modal, true, [l] { l->push_back("presented"); });
    EXPECT_EQ(take(*log), (Log{"M+", "R-", "M!", "R.", "presented"}));
    EXPECT_EQ(modal->view()->geometry(), window->rect());
    // A second presentation while one is up only completes.
    nav->presentViewController(screen("X"), true, [l] { l->push_back("refused"); });
    EXPECT_EQ(take(*log), (Log{"refused"}));

    // Dismissed from the presented screen itself, sliding down.
    modal->dismissViewController(true, [l] { l->push_back("dismissed"); });
    EXPECT_EQ(take(*log), (Log{"M-", "R+", "M.", "R!", "dismissed"}));
    EXPECT_EQ(nav->presentedViewController(), nullptr);
    EXPECT_EQ(modal->view()->y(), window->height());
    EXPECT_EQ(modal->view()->parentWidget(), nullptr);
}


class Selections : public TabBarControllerDelegate {
public:
    void didSelectViewController(TabBarController&, ViewController& c) override {
        chosen.push_back(&c);
    }
    std::vector<ViewController*> chosen;
};

class TabBarTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        log = std::make_shared<Log>();
        for (const char* name : {"A", "B", "C"})
            screens.push_back(std::make_shared<LoggingController>(name, log));
        tabs = std::make_shared<TabBarController>();
        tabs->setDelegate(&selections);
        tabs->setViewControllers({screens[0], screens[1], screens[2]});
        window = uitest::showInWindow(tabs);
    }
    void TearDown() override {
        window.reset();
        UiTest::TearDown();
    }
    void tapTab(int index) { uitest::tap(tabs->tabBar()->button(index)); }

    std::shared_ptr<Log> log;
    std::vector<std::shared_ptr<ViewController>> screens;
    std::shared_ptr<TabBarController> tabs;
    Selections selections;
    std::unique_ptr<Window> window;
};

TEST_F(TabBarTest, OnlyTheSelectedScreenLoadsAndATapSwitchesAndTellsTheDelegateEvenOnItsTab) {
    EXPECT_EQ(take(*log), (Log{"A+", "A!"}));
    EXPECT_EQ(sink->log, (Log{"begin:TabBarController", "begin:A"}));
    EXPECT_FALSE(screens[2]->isViewLoaded());
    EXPECT_EQ(screens[2]->tabBarController(), tabs.get());
    sink->log.clear();
    tapTab(2);
    EXPECT_EQ(tabs->selectedViewController(), screens[2].get());
    EXPECT_EQ(take(*log), (Log{"A-", "C+", "A.", "C!"}));
    EXPECT_EQ(sink->log, (Log{"end:A", "begin:C"}));
    EXPECT_TRUE(tabs->tabBar()->button(2)->isSelected());
    EXPECT_FALSE(tabs->tabBar()->button(0)->isSelected());
    EXPECT_TRUE(screens[2]->view()->isVisible());
    EXPECT_FALSE(screens[0]->view()->isVisible());
    tapTab(2);
    EXPECT_TRUE(take(*log).empty());
    EXPECT_EQ(selections.chosen,
              (std::vector<ViewController*>{screens[2].get(), screens[2].get()}));
}

TEST_F(TabBarTest, DelegateMayReplaceTheTabsWhileTheTapIsHandled) {
    struct Replacer : TabBarControllerDelegate {
        std::vector<std::shared_ptr<ViewController>> next;
        void didSelectViewController(TabBarController& t, ViewController&) override {
            t.setViewControllers(next);
        }
    } replacer;
    replacer.next = {screens[1]};
    tabs->setDelegate(&replacer);
    take(*log);
    tapTab(2);
    EXPECT_EQ(take(*log), (Log{"A-", "C+", "A.", "C!", "C-", "C.", "B+", "B!"}));
    EXPECT_EQ(tabs->tabBar()->count(), 1);
    EXPECT_EQ(tabs->selectedViewController(), screens[1].get());
    tabs->setDelegate(nullptr);
}

TEST_F(TabBarTest, SelectionInCodeIsNotReportedAndWhileHiddenIsNoAppearance) {
    take(*log);
    tabs->setSelectedIndex(1);
    EXPECT_EQ(take(*log), (Log{"A-", "B+", "A.", "B!"}));
    tabs->setSelectedIndex(7);
    EXPECT_EQ(tabs->selectedIndex(), 1);
    EXPECT_TRUE(selections.chosen.empty());
    window->hide();
    EXPECT_EQ(take(*log), (Log{"B-", "B."}));
    tabs->setSelectedViewController(screens[2].get());
    EXPECT_TRUE(log->empty());
    window->show();
    EXPECT_EQ(take(*log), (Log{"C+", "C!"}));
}

TEST_F(TabBarTest, BarFollowsTheWindowWidthAtTheBottom) {
    for (int width : {375, 414}) {
        window->resize(width, 667);
        drain();
        EXPECT_EQ(tabs->tabBar()->geometry(),
                  QRect(0, 667 - TabBar::kHeight, width, TabBar::kHeight));
        EXPECT_EQ(tabs->tabBar()->button(2)->geometry().right(), width - 1);
    }
    EXPECT_EQ(screens[0]->view()->height(), 667) << "under a translucent bar";
    tabs->tabBar()->setTranslucent(false);
    drain();
    EXPECT_EQ(screens[0]->view()->height(), 667 - TabBar::kHeight);
}

// The shown screen leaving with the old set: DelegateMayReplaceTheTabs...
TEST_F(TabBarTest, ItemsComeFromTheNavigationRootAndInsetsMoveTheImage) {
    auto root = std::make_shared<ViewController>();
    QPixmap image(20, 20);
    root->tabBarItem().image = image;
    root->tabBarItem().imageInsets = QMarginsF(0, 6, 0, -6);
    auto nav = std::make_shared<NavigationController>(root);
    tabs->setViewControllers({nav, screens[1]});
    TabBarButton* button = tabs->tabBar()->button(0);
    EXPECT_EQ(root->tabBarController(), tabs.get());
    EXPECT_EQ(screens[0]->tabBarController(), nullptr);
    const QRectF rect = button->imageRect();
    EXPECT_EQ(rect.size(), QSizeF(20, 20));
    // Centred above the title strip, then 6 points down: the bar's middle.
    EXPECT_DOUBLE_EQ(rect.center().y(), TabBar::kHeight / 2.0);
}

}  // namespace
