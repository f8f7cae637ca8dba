#include <QImage>
#include <QTest>

#include "core/playback/QELSoundEffectPlayer.h"
#include "foundation/DebugLog.h"
#include "foundation/PropertyList.h"
#include "support/TestSupport.h"
#include "ui/UiTest.h"
#include "ui/board/QELSoundEffectListViewController.h"
#include "ui/platform/Animation.h"
#include "ui/platform/NavigationController.h"
#include "ui/platform/Palette.h"
#include "ui/utils/QELNavigationController.h"

using namespace platform;
using uitest::drain;

namespace {

class BoardTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        model = std::make_shared<QELSoundEffectListViewModel>();
        board = std::make_shared<QELSoundEffectListViewController>(model);
        window = uitest::showInWindow(createNavigationController(board));
        window->setBackgroundColor(Color::c6());
    }
    void TearDown() override {
        model->stop();
        window.reset();
        board.reset();
        model.reset();
        UiTest::TearDown();
    }

    CollectionView* grid() { return board->collectionView(); }
    void tap(const IndexPath& ip) { uitest::tap(grid(), ip); }
    bool shownSelected(const IndexPath& ip) {
        auto* cell =
            dynamic_cast<QELSoundEffectCollectionViewCell*>(grid()->cellForItemAtIndexPath(ip));
        return cell && cell->isSelected();
    }
    std::vector<IndexPath> selected() { return grid()->indexPathsForSelectedItems(); }
    std::vector<std::string> events() const { return sink->events(); }

    std::shared_ptr<QELSoundEffectListViewModel> model;
    std::shared_ptr<QELSoundEffectListViewController> board;
    std::unique_ptr<Window> window;
};

TEST_F(BoardTest, TapPlaysHighlightsAndLogsOnceTapAgainStopsAnotherSwitches) {
    const IndexPath a{0, 0}, b{1, 2};
    tap(a);
    EXPECT_TRUE(model->playingEffect());
    EXPECT_EQ(selected(), std::vector<IndexPath>{a});
    EXPECT_TRUE(shownSelected(a));
    tap(a);
    EXPECT_FALSE(model->playingEffect());
    EXPECT_TRUE(selected().empty());
    EXPECT_FALSE(shownSelected(a));
    EXPECT_EQ(events(), std::vector<std::string>{"event:playSound"}) << "stopping sends nothing";

    // Two quick clicks through the window, as the desktop sends them (the
    // second arrives as a double click): the first plays, the second stops.
    const QPoint centre = grid()->layoutFrameForItem(a).center().toPoint();
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {},
                       grid()->contentWidget()->mapTo(window.get(), centre));
    drain();
    EXPECT_FALSE(model->playingEffect());
    EXPECT_EQ(events().size(), 2u);
    // Other buttons, and a press released off the pad, play nothing.
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton})
        QTest::mouseClick(grid()->contentWidget(), button, {}, centre);
    QTest::mousePress(grid()->contentWidget(), Qt::LeftButton, {}, centre);
    EXPECT_TRUE(grid()->cellForItemAtIndexPath(a)->isHighlighted());
    QTest::mouseRelease(grid()->contentWidget(), Qt::LeftButton, {},
                        (grid()->layoutFrameForItem(a).bottomRight() + QPointF(5, 5)).toPoint());
    drain();
    EXPECT_FALSE(grid()->cellForItemAtIndexPath(a)->isHighlighted());
    EXPECT_FALSE(model->playingEffect());
    EXPECT_EQ(events().size(), 2u);

    // A tap on another switches the highlight to it, in the accent colour.
    tap(a);
    tap(b);
    EXPECT_EQ(selected(), std::vector<IndexPath>{b});
    const QImage shot = uitest::screenshot(*window, "board.png");
    EXPECT_EQ(uitest::padColour(shot, *window, grid(), b).rgb(), Color::c9().rgb());
    EXPECT_NE(uitest::padColour(shot, *window, grid(), a).rgb(), Color::c9().rgb());
    auto* cell = dynamic_cast<QELSoundEffectCollectionViewCell*>(grid()->cellForItemAtIndexPath(b));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->titleLabel()->palette().color(QPalette::WindowText), Color::c1());

    // Another owner taking the player clears it.
    QELSoundEffectPlayer::stopCurrentPlaying();
    drain();
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(cell->titleLabel()->palette().color(QPalette::WindowText), Color::c2());
    EXPECT_DOUBLE_EQ(platform::alpha(cell->overlayView()), 0.0);
}

TEST_F(BoardTest, KeysMoveAVisibleFocusOverThePadsAndSpacePlays) {
    window->activateWindow();
    grid()->setFocus();
    drain();
    ASSERT_TRUE(grid()->hasFocus());
    EXPECT_FALSE(grid()->showsFocusRing()) << "not before a key is used";
    auto key = [&](Qt::Key k) {
        QTest::keyClick(grid(), k);
        drain();
        return grid()->focusedIndexPath().value_or(IndexPath{-1, -1});
    };
    EXPECT_EQ(key(Qt::Key_Right), IndexPath(0, 0)) << "the first key shows where it is";
    EXPECT_TRUE(grid()->showsFocusRing());
    EXPECT_EQ(key(Qt::Key_Right), IndexPath(0, 1));
    EXPECT_EQ(key(Qt::Key_Down), IndexPath(0, 4)) << "three to a row";
    EXPECT_EQ(key(Qt::Key_Tab), IndexPath(0, 5));
    EXPECT_EQ(key(Qt::Key_Backtab), IndexPath(0, 4));
    EXPECT_EQ(key(Qt::Key_Up), IndexPath(0, 1));
    const int64_t last = grid()->numberOfItemsInSection(0) - 1;
    for (int64_t i = 1; i < last; ++i) key(Qt::Key_Right);
    EXPECT_EQ(key(Qt::Key_Right), IndexPath(1, 0)) << "on into the next section";

    key(Qt::Key_Space);
    EXPECT_EQ(model->playingIndexPath(), IndexPath(1, 0));
    EXPECT_TRUE(shownSelected({1, 0}));

    // The pointer takes over: the ring goes until a key is used again.
    tap({0, 2});
    EXPECT_FALSE(grid()->showsFocusRing());
    EXPECT_EQ(key(Qt::Key_Left), IndexPath(0, 2));
    EXPECT_EQ(key(Qt::Key_Left), IndexPath(0, 1));
    EXPECT_TRUE(grid()->showsFocusRing());
}

TEST_F(BoardTest, ThreeButtonsToARowAtAnyWidthUnderTheirCategorysTitle) {
    auto provider = model->dataProvider();
    auto* cell =
        dynamic_cast<QELSoundEffectCollectionViewCell*>(grid()->cellForItemAtIndexPath({0, 0}));
    ASSERT_TRUE(cell);
    EXPECT_TRUE(cell->isAvailable());
    EXPECT_EQ(cell->titleLabel()->text().toStdString(),
              provider->objectAtIndexPath({0, 0})->name());
    auto* header = dynamic_cast<QELSoundEffectCollecionHeaderView*>(
        grid()->supplementaryViewForElementKind(kCollectionElementKindSectionHeader, {0, 0}));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->titleLabel()->text().toStdString(), provider->titleForSection(0).value());
    EXPECT_EQ(header->titleLabel()->pos(), QPoint(15, 15));

    for (double width : {320, 414}) {
        SCOPED_TRACE(width);
        window->resize(static_cast<int>(width), 667);
        drain();
        const double w = (width - 60) / 3;
        EXPECT_EQ(grid()->layoutFrameForSupplementary(kCollectionElementKindSectionHeader, 0),
                  QRectF(0, 0, width, 44));
        EXPECT_EQ(grid()->layoutFrameForItem({0, 0}), QRectF(15, 44, w, 36));
        EXPECT_EQ(grid()->layoutFrameForItem({0, 1}), QRectF(15 + w + 15, 44, w, 36));
        EXPECT_DOUBLE_EQ(grid()->layoutFrameForItem({0, 2}).right(), width - 15);
        EXPECT_EQ(grid()->layoutFrameForItem({0, 3}).topLeft(), QPointF(15, 44 + 36 + 15));
        // The next header follows the section's last row and its bottom inset.
        const int64_t last = grid()->numberOfItemsInSection(0) - 1;
        EXPECT_DOUBLE_EQ(
            grid()->layoutFrameForSupplementary(kCollectionElementKindSectionHeader, 1).top(),
            grid()->layoutFrameForItem({0, last}).bottom() + 15);
    }
}

TEST_F(BoardTest, ACellDestroyedWhileItGlowsEndsTheGlowWhole) {
    setAnimationsInstant(false);
    auto* cell = new QELSoundEffectCollectionViewCell();
    cell->resize(100, 35);
    cell->setSelected(true);
    EXPECT_EQ(runningAnimationCount(cell->overlayView()), 1u);
    delete cell;  // under UBSan, a completion on a half-destroyed overlay fails here
    setAnimationsInstant(true);
}

// Available items: ThreeButtonsToARow... checks the shipped board's first.
TEST_F(BoardTest, AnEffectWithoutItsFileIsShownDisabled) {
    testsupport::TempDir dir;
    const std::string plist = dir.file("Ghost.plist");
    const Value::Array list{Value::Dictionary{{"fileName", "ghost.flac"}, {"title", "鬼"}}};
    ASSERT_TRUE(PropertyList::writeFile(
        plist, Value::Dictionary{{"category", "鬼"}, {"index", 1}, {"list", list}},
        PropertyList::Format::Xml));
    auto quiet = setDebugErrorSink([](const DebugErrorEntry&) {});
    auto ghosts = std::make_shared<QELSoundEffectListViewModel>();
    ghosts->setDataProvider(
        std::make_shared<QELSoundEffectListDataProvider>(std::vector<std::string>{plist}));
    auto ghostBoard = std::make_shared<QELSoundEffectListViewController>(ghosts);
    const auto ghostWindow = uitest::showInWindow(createNavigationController(ghostBoard));
    setDebugErrorSink(quiet);
    auto* cell = dynamic_cast<QELSoundEffectCollectionViewCell*>(
        ghostBoard->collectionView()->cellForItemAtIndexPath({0, 0}));
    ASSERT_TRUE(cell);
    EXPECT_FALSE(cell->isAvailable());
}

}  // namespace
