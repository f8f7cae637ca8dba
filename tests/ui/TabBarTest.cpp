#include <QTest>

#include "ui/AppearanceLog.h"
#include "ui/UiTest.h"
#include "ui/platform/NavigationController.h"
#include "ui/platform/TabBarController.h"

using namespace platform;
using uitest::drain;
using uitest::take;
using Log = std::vector<std::string>;

namespace {

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
            screens.push_back(std::make_shared<uitest::LoggingController>(name, log));
        tabs = std::make_shared<TabBarController>();
        tabs->setDelegate(&selections);
        tabs->setViewControllers({screens[0], screens[1], screens[2]});
        window = std::make_unique<Window>();
        window->setRootViewController(tabs);
        window->show();
        drain();
    }
    void TearDown() override {
        window.reset();
        UiTest::TearDown();
    }
    void tapTab(int index) {
        TabBarButton* button = tabs->tabBar()->button(index);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        drain();
    }

    std::shared_ptr<Log> log;
    std::vector<std::shared_ptr<ViewController>> screens;
    std::shared_ptr<TabBarController> tabs;
    Selections selections;
    std::unique_ptr<Window> window;
};

TEST_F(TabBarTest, OnlyTheSelectedScreenLoadsAndAppears) {
    EXPECT_EQ(tabs->selectedIndex(), 0);
    EXPECT_EQ(take(*log), (Log{"A+", "A!"}));
    EXPECT_TRUE(screens[0]->isViewLoaded());
    EXPECT_FALSE(screens[1]->isViewLoaded());
    EXPECT_EQ(screens[2]->tabBarController(), tabs.get());
    EXPECT_EQ(sink->log, (Log{"begin:TabBarController", "begin:A"}));
}

TEST_F(TabBarTest, UserSelectionSwitchesScreensAndTellsTheDelegate) {
    take(*log);
    sink->log.clear();
    tapTab(2);
    EXPECT_EQ(tabs->selectedViewController(), screens[2].get());
    EXPECT_EQ(take(*log), (Log{"A-", "C+", "A.", "C!"}));
    EXPECT_EQ(sink->log, (Log{"end:A", "begin:C"}));
    EXPECT_TRUE(tabs->tabBar()->button(2)->isSelected());
    EXPECT_FALSE(tabs->tabBar()->button(0)->isSelected());
    EXPECT_TRUE(screens[2]->view()->isVisible());
    EXPECT_FALSE(screens[0]->view()->isVisible());
    // Tapping the chosen tab again is a selection too, without a change.
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

TEST_F(TabBarTest, SelectionInCodeIsNotReported) {
    take(*log);
    tabs->setSelectedIndex(1);
    EXPECT_EQ(take(*log), (Log{"A-", "B+", "A.", "B!"}));
    tabs->setSelectedViewController(screens[0].get());
    EXPECT_EQ(take(*log), (Log{"B-", "A+", "B.", "A!"}));
    tabs->setSelectedIndex(7);
    EXPECT_EQ(tabs->selectedIndex(), 0);
    EXPECT_TRUE(selections.chosen.empty());
    // While hidden, switching tabs is no appearance.
    window->hide();
    EXPECT_EQ(take(*log), (Log{"A-", "A."}));
    tabs->setSelectedIndex(2);
    EXPECT_TRUE(log->empty());
    window->show();
    EXPECT_EQ(take(*log), (Log{"C+", "C!"}));
}

TEST_F(TabBarTest, BarFollowsTheWindowWidthAtTheBottom) {
    for (int width : {375, 414}) {
        window->resize(width, 667);
        drain();
        const QRect bar = tabs->tabBar()->geometry();
        EXPECT_EQ(bar, QRect(0, 667 - TabBar::kHeight, width, TabBar::kHeight));
        EXPECT_EQ(tabs->tabBar()->button(2)->geometry().right(), width - 1);
        tabs->tabBar()->setTranslucent(false);
        drain();
        EXPECT_EQ(screens[0]->view()->height(), 667 - TabBar::kHeight);
        tabs->tabBar()->setTranslucent(true);
        drain();
        EXPECT_EQ(screens[0]->view()->height(), 667);
    }
}

TEST_F(TabBarTest, ItemsComeFromTheNavigationRootAndInsetsMoveTheImage) {
    take(*log);
    auto root = std::make_shared<ViewController>();
    QPixmap image(20, 20);
    root->tabBarItem().image = image;
    root->tabBarItem().imageInsets = QMarginsF(0, 6, 0, -6);
    auto nav = std::make_shared<NavigationController>(root);
    tabs->setViewControllers({nav, screens[1]});
    EXPECT_EQ(take(*log), (Log{"A-", "A."}));
    TabBarButton* button = tabs->tabBar()->button(0);
    EXPECT_EQ(tabs->tabBar()->count(), 2);
    EXPECT_EQ(root->tabBarController(), tabs.get());
    EXPECT_EQ(screens[0]->tabBarController(), nullptr);
    const QRectF rect = button->imageRect();
    EXPECT_EQ(rect.size(), QSizeF(20, 20));
    // Centred above the title strip, then 6 points down: the bar's middle.
    EXPECT_DOUBLE_EQ(rect.center().y(), TabBar::kHeight / 2.0);
}

}  // namespace
