#include "foundation/DebugLog.h"
#include "core/playback/QELSoundEffectPlayer.h"
#include "ui/MineTest.h"
#include "ui/mine/QELMySoundEffectsEditOptionViewController.h"
#include "ui/utils/QELNavigationAlert.h"

using namespace platform;
using minetest::MineTest;
using uitest::drain;

namespace {

using Screen = QELMySoundEffectsViewController;

TEST_F(MineTest, TwoItemsToARowWithFifteenPointMarginsAt320) {
    for (int i = 0; i < 3; ++i) storage->addSoundEffect(builtIn(i));
    drain();
    EXPECT_EQ(grid()->layoutFrameForItem({0, 0}), QRectF(15, 15, 137.5, 100));
    EXPECT_EQ(grid()->layoutFrameForItem({0, 1}), QRectF(167.5, 15, 137.5, 100));
    EXPECT_EQ(grid()->layoutFrameForItem({0, 2}), QRectF(15, 130, 137.5, 100));
    EXPECT_EQ(grid()->layoutFrameForSupplementary(kCollectionElementKindSectionFooter, 0),
              QRectF(0, 230, 320, 44));
    EXPECT_DOUBLE_EQ(grid()->contentSize().height(), 274);
    EXPECT_EQ(screen->navigationController()->navigationBar()->title(), QStringLiteral("自定义"));
}

TEST_F(MineTest, TheEmptyViewShowsWhileNothingIsCollectedWithTheContactLineAtTheBottom) {
    EXPECT_TRUE(screen->emptyView()->isVisible());
    EXPECT_EQ(screen->emptyView()->titleLabel()->text(),
              QStringLiteral("空空的，这里什么都没有..."));
    EXPECT_EQ(grid()->numberOfSections(), 1);
    EXPECT_EQ(grid()->numberOfItemsInSection(0), 0);
    const int H = grid()->contentsRect().height();
    EXPECT_EQ(screen->contactView()->geometry(), QRect(0, H - 44, 320, 44));
    EXPECT_TRUE(screen->contactView()->isVisible());
    EXPECT_TRUE(screen->contactView()->visibleRegion().boundingRect().height() == 44)
        << "not clipped by the short content";
    uitest::screenshot(*window, "mine-empty.png");

    // The first entry hides it, the last deletion brings it back.
    storage->addSoundEffect(builtIn(0));
    drain();
    EXPECT_FALSE(screen->emptyView()->isVisible());
    ASSERT_TRUE(cell(0));
    EXPECT_EQ(cell(0)->item(), storage->soundEffects()[0]);
    storage->removeSoundEffect(storage->soundEffects()[0]);
    drain();
    EXPECT_TRUE(screen->emptyView()->isVisible());
    EXPECT_EQ(grid()->numberOfItemsInSection(0), 0);
}

TEST_F(MineTest, ContactLineFollowsTheEndOfTheContent) {
    EXPECT_EQ(Screen::contactViewBottom(500, 300, 0), 500);
    EXPECT_EQ(Screen::contactViewBottom(500, 800, 0), 800);
    EXPECT_EQ(Screen::contactViewBottom(500, 800, 400), 900);
    EXPECT_EQ(Screen::contactViewBottom(500, 500, 0), 500);

    for (int i = 0; i < 12; ++i) storage->addSoundEffect(builtIn(i % 6, i / 6));
    drain();
    const double C = grid()->contentSize().height();
    EXPECT_DOUBLE_EQ(C, 15 + 6 * 100 + 5 * 15 + 44);
    EXPECT_EQ(screen->contactView()->geometry().bottom() + 1, C);
    grid()->setContentOffset({0, C});  // as far as it goes
    drain();
    EXPECT_GT(grid()->contentOffset().y(), 0);
    EXPECT_EQ(screen->contactView()->geometry().bottom() + 1, C);

    // Started again over these entries, in a window of another size: right
    // from the first layout, and after every new size.
    window.reset();
    screen = std::make_shared<QELMySoundEffectsViewController>(model);
    window = std::make_unique<platform::Window>();
    window->resize(375, 667);
    window->setRootViewController(createNavigationController(screen));
    window->show();
    drain();
    for (int height : {667, 500}) {
        SCOPED_TRACE(height);
        window->resize(375, height);
        drain();
        EXPECT_EQ(grid()->contentOffset().y(), 0);
        EXPECT_EQ(screen->contactView()->geometry().bottom() + 1, grid()->contentSize().height());
        EXPECT_GE(screen->contactView()->y(), grid()->layoutFrameForItem({0, 11}).bottom());
    }
    window->resize(375, 667);
    drain();
    uitest::screenshot(*window, "mine-restarted-12.png");
}

TEST_F(MineTest, PlayingItemKeepsItsPlaceWhenAnEarlierEntryGoesAndStopsWhenItGoes) {
    for (int i = 0; i < 3; ++i) storage->addSoundEffect(builtIn(i));
    drain();
    tapItem(grid(), {0, 1});
    storage->removeSoundEffect(storage->soundEffects()[0]);
    drain();
    EXPECT_EQ(grid()->indexPathsForSelectedItems(), std::vector<IndexPath>{IndexPath(0, 0)});
    EXPECT_EQ(model->playingIndexPath(), IndexPath(0, 0));
    tapItem(grid(), {0, 1});
    EXPECT_EQ(model->playingEffect(), storage->soundEffects()[1]) << "switched, not stopped";
    ASSERT_TRUE(model->player());
    uitest::advance(model->player()->duration() + 1);
    EXPECT_TRUE(grid()->indexPathsForSelectedItems().empty()) << "its end clears its own item";

    // Deleting the playing entry stops its sound.
    tapItem(grid(), {0, 1});
    storage->removeSoundEffect(storage->soundEffects()[1]);
    drain();
    EXPECT_FALSE(model->playingEffect());
    EXPECT_TRUE(grid()->indexPathsForSelectedItems().empty());
    tapItem(grid(), {0, 0});
    EXPECT_TRUE(model->playingEffect());
}

TEST_F(MineTest, TapPlaysAndLogsTapOnThePlayingItemStopsSilently) {
    storage->addSoundEffect(builtIn(0));
    storage->addSoundEffect(builtIn(1));
    drain();
    tapItem(grid(), {0, 0});
    EXPECT_EQ(model->playingIndexPath(), IndexPath(0, 0));
    EXPECT_TRUE(cell(0)->isSelected());
    tapItem(grid(), {0, 1});
    EXPECT_EQ(model->playingIndexPath(), IndexPath(0, 1));
    EXPECT_FALSE(cell(0)->isSelected());
    tapItem(grid(), {0, 1});
    EXPECT_FALSE(model->playingEffect());
    EXPECT_FALSE(cell(1)->isSelected());
    EXPECT_EQ(events(), (std::vector<std::string>{"event:playFavorite", "event:playFavorite"}));
}

// A recording whose file went missing plays nothing: no event, no
// highlight left behind, and the sound that played before is not restarted.
TEST_F(MineTest, ARecordingWithoutItsFilePlaysNothingAndStaysUnselected) {
    storage->addSoundEffect(builtIn(0));
    storage->addSoundEffect(QELSoundEffect::customSoundEffectWithName("丢失的录音", "/丢失的录音.caf"));
    drain();
    tapItem(grid(), {0, 0});
    tapItem(grid(), {0, 0});
    auto quiet = platform::setDebugErrorSink([](const platform::DebugErrorEntry&) {});
    tapItem(grid(), {0, 1});
    platform::setDebugErrorSink(quiet);
    EXPECT_FALSE(cell(1)->isSelected());
    EXPECT_FALSE(model->playingEffect());
    EXPECT_FALSE(model->player() && model->player()->isPlaying());
    EXPECT_EQ(events(), (std::vector<std::string>{"event:playFavorite"}));
    // It looks unavailable and the tap says why nothing plays.
    EXPECT_TRUE(cell(0)->isAvailable());
    EXPECT_FALSE(cell(1)->isAvailable());
    const auto& alert = QELNavigationAlertManager::alertView().alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title, QStringLiteral("音效文件不见了"));
}

TEST_F(MineTest, LongPressFiresOnceAtItsStartAndIsNoTap) {
    storage->addSoundEffect(builtIn(0));
    drain();
    int presses = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        QELMySoundEffectCollectionViewCell::LongPressNotificationName, nullptr, RunLoop::main(),
        [&](const Notification&) { ++presses; });
    press(0, 0.4);
    EXPECT_EQ(presses, 0) << "not yet";
    uitest::advance(0.1);
    EXPECT_EQ(presses, 1);
    uitest::advance(2);
    release(0);
    EXPECT_EQ(presses, 1) << "neither holding on nor lifting fires again";
    EXPECT_FALSE(model->playingEffect()) << "a long press is no tap";
    ASSERT_TRUE(screen->editOptions());
    EXPECT_TRUE(popoverState(*screen->editOptions()).popoverWindow);

    tap(screen->editOptions()->cancelButton());
    const QPoint start = grid()->layoutFrameForItem({0, 0}).center().toPoint();
    QTest::mousePress(grid()->contentWidget(), Qt::LeftButton, {}, start);
    QTest::mouseMove(grid()->contentWidget(), start + QPoint(20, 0));
    uitest::advance(1);
    QTest::mouseRelease(grid()->contentWidget(), Qt::LeftButton, {}, start + QPoint(20, 0));
    drain();
    EXPECT_EQ(presses, 1) << "a press that drifts is no long press";
    EXPECT_TRUE(model->playingEffect()) << "but a tap, released on the item";
    press(0, 0.2);
    release(0);
    uitest::advance(1);
    EXPECT_EQ(presses, 1) << "a short press is a tap";
    EXPECT_FALSE(model->playingEffect()) << "the second tap stops it";

    // The desktop's context click opens what a long press opens, at once.
    const QPoint centre = grid()->layoutFrameForItem({0, 0}).center().toPoint();
    QTest::mouseClick(grid()->contentWidget(), Qt::MiddleButton, {}, centre);
    drain();
    EXPECT_EQ(presses, 1);
    QTest::mouseClick(grid()->contentWidget(), Qt::RightButton, {}, centre);
    drain();
    EXPECT_EQ(presses, 2);
    EXPECT_TRUE(popoverState(*screen->editOptions()).popoverWindow);
    EXPECT_FALSE(model->playingEffect()) << "and plays nothing";
}

TEST_F(MineTest, AFilledGridShowsEveryEntryThePlayingOneInTheAccentColourAndTagsRecordings) {
    storage->addSoundEffect(builtIn(0));
    storage->addSoundEffect(QELSoundEffect::customSoundEffectWithName("我的开场白", "/a.caf"));
    storage->addSoundEffect(builtIn(1, 1));
    storage->addSoundEffect(QELSoundEffect::customSoundEffectWithName("掌声雷动", "/b.caf"));
    storage->addSoundEffect(builtIn(2, 2));
    drain();
    tapItem(grid(), {0, 2});
    const QImage shot = uitest::screenshot(*window, "mine-grid.png");
    int shown = 0;
    for (int64_t row = 0; row < 6; ++row) shown += cell(row) && cell(row)->isVisible();
    EXPECT_EQ(shown, 5);
    EXPECT_EQ(uitest::padColour(shot, *window, grid(), {0, 2}).rgb(), Color::c9().rgb());
    EXPECT_NE(uitest::padColour(shot, *window, grid(), {0, 1}).rgb(), Color::c9().rgb());

    // The tag marks the user's recordings, and turns to play when selected.
    EXPECT_TRUE(cell(0)->customTag()->isHidden());
    EXPECT_FALSE(cell(1)->customTag()->isHidden());
    EXPECT_EQ(cell(1)->customTag()->geometry(),
              QRect(cell(1)->contentView()->width() - 25, 5, 20, 20));
    const QImage idle = cell(1)->customTag()->image().toImage();
    grid()->selectItemAtIndexPath({0, 1}, false);
    EXPECT_NE(cell(1)->customTag()->image().toImage(), idle);
    grid()->deselectItemAtIndexPath({0, 1}, false);
    EXPECT_EQ(cell(1)->customTag()->image().toImage(), idle);
}

}  // namespace
