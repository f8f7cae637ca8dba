#include "ui/AppearanceLog.h"
#include "ui/UiTest.h"
#include "ui/platform/NavigationController.h"

using namespace platform;
using uitest::drain;
using uitest::take;
using Log = std::vector<std::string>;

namespace {

class NavigationTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        log = std::make_shared<Log>();
        root = std::make_shared<uitest::LoggingController>("R", log);
        root->setTitle("根");
        nav = std::make_shared<NavigationController>(root);
        window = std::make_unique<Window>();
        window->setRootViewController(nav);
        window->show();
        drain();
        take(*log);
    }
    void TearDown() override {
        window.reset();
        UiTest::TearDown();
    }
    std::shared_ptr<uitest::LoggingController> screen(const char* name) {
        return std::make_shared<uitest::LoggingController>(name, log);
    }

    std::shared_ptr<Log> log;
    std::shared_ptr<uitest::LoggingController> root;
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
    EXPECT_EQ(nav->topViewController(), top.get());
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
    EXPECT_EQ(nav->presentedViewController(), modal.get());
    EXPECT_EQ(modal->presentingViewController(), nav.get());
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
    drain();
    EXPECT_EQ(sink->log.back(), "begin:R");
}

}  // namespace
