#include "ui/UiTest.h"
#include "ui/platform/Animation.h"
#include "ui/utils/QELNavigationAlert.h"
#include "ui/utils/QELNavigationController.h"

using namespace platform;
using uitest::drain;

namespace {

class AlertTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        nav = createNavigationController(std::make_shared<ViewController>());
        window = uitest::showInWindow(nav);
    }
    void TearDown() override {
        window.reset();
        nav.reset();
        UiTest::TearDown();
    }
    uitest::AlertTitles shown;
    std::unique_ptr<Window> window;
    std::shared_ptr<QELNavigationController> nav;
};

TEST_F(AlertTest, AlertsShowOneAtATimeInQueueOrderUntilCleared) {
    QELNavigationAlertManager::showAlert(QELNavigationAlert("one"));
    QELNavigationAlertManager::showAlert(QELNavigationAlert("two"));
    QELNavigationAlertManager::showAlert(QELNavigationAlert("three"));
    EXPECT_TRUE(QELNavigationAlertManager::isShowing());
    EXPECT_EQ(QELNavigationAlertManager::queuedCount(), 2u) << "the first is taken at once";
    drain();
    EXPECT_EQ(shown.titles, (QStringList{"one", "two", "three"}));
    EXPECT_FALSE(QELNavigationAlertManager::isShowing());
    EXPECT_FALSE(QELNavigationAlertManager::alertView().isVisible());

    // Clearing drops the waiting ones; the visible one finishes.
    shown.titles.clear();
    QELNavigationAlertManager::showAlert(QELNavigationAlert("visible"));
    QELNavigationAlertManager::showAlert(QELNavigationAlert("dropped"));
    QELNavigationAlertManager::clearAlertQueue();
    drain();
    EXPECT_EQ(shown.titles, QStringList{"visible"});
    EXPECT_FALSE(QELNavigationAlertManager::isShowing());
    QELNavigationAlertManager::showAlert(QELNavigationAlert("later"));
    drain();
    EXPECT_EQ(shown.titles, (QStringList{"visible", "later"}));
}

TEST_F(AlertTest, AlertViewHangsUnderTheBarOfTheScreenThatAppearedLast) {
    auto& alertView = QELNavigationAlertManager::alertView();
    NavigationBar* bar = nav->navigationBar();
    EXPECT_EQ(alertView.parentWidget(), bar->parentWidget());
    EXPECT_EQ(alertView.geometry(), QRect(0, bar->height(), bar->width(), 40));

    auto other = createNavigationController(std::make_shared<ViewController>());
    nav->presentViewController(other, false);
    drain();
    NavigationBar* otherBar = other->navigationBar();
    EXPECT_EQ(alertView.parentWidget(), otherBar->parentWidget());
    window->resize(414, 700);
    drain();
    EXPECT_EQ(alertView.width(), 414) << "as wide as the bar";
    nav->dismissViewController(false);
    drain();
    EXPECT_EQ(alertView.parentWidget(), bar->parentWidget());
}

TEST_F(AlertTest, PanelSlidesDownThenBackUp) {
    auto& view = QELNavigationAlertManager::alertView();
    setAnimationsInstant(false);
    view.showAlert(QELNavigationAlert("slide"), {});
    EXPECT_TRUE(view.isShowingContent());
    EXPECT_TRUE(view.isVisible());
    setAnimationsInstant(true);
    removeAllAnimations(&view);  // ends the slide down; the slide up is instant
    EXPECT_FALSE(view.isShowingContent());
    EXPECT_FALSE(view.isVisible());
}

// The bar that holds the view can go while an alert slides (its screen is
// closed): the queue must go on with a new view, not stay locked.
TEST_F(AlertTest, AViewDestroyedWhileSlidingPassesTheQueueOn) {
    setAnimationsInstant(false);
    QELNavigationAlertManager::showAlert(QELNavigationAlert("gone with its bar"));
    QELNavigationAlertManager::showAlert(QELNavigationAlert("next"));
    drain();
    delete &QELNavigationAlertManager::alertView();
    setAnimationsInstant(true);
    drain();
    EXPECT_EQ(QELNavigationAlertManager::alertView().titleLabel()->text(), QStringLiteral("next"));
    EXPECT_FALSE(QELNavigationAlertManager::isShowing());
}

}  // namespace
