#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <memory>

#include "core/collection/QELMySoundEffectsViewModel.h"
#include "core/playback/QELSoundEffectListViewModel.h"
#include "core/playback/QELSoundEffectPlayer.h"
#include "foundation/DebugLog.h"
#include "foundation/UserDefaults.h"
#include "ui/UiTest.h"
#include "ui/maker/QELPopover.h"
#include "ui/mine/QELMySoundEffectsEditOptionViewController.h"
#include "ui/mine/QELMySoundEffectsViewController.h"
#include "ui/mine/QELSoundEffectPickViewController.h"
#include "ui/platform/NavigationController.h"
#include "ui/platform/Palette.h"
#include "ui/utils/QELNavigationAlert.h"
#include "ui/utils/QELNavigationController.h"

using namespace platform;
using uitest::drain;
using uitest::tap;

namespace {

// The collection screen in its tab's navigation, over a collection file of
// its own in a fresh Library.
class MineTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_TRUE(home.isValid());
        const QString dir = home.path() + "/Library/UserCollections";
        QDir().mkpath(dir + "/Custom");
        storage = std::make_unique<QELMySoundEffectStorage>(
            (dir + "/Customcollection.info").toStdString(), uitest::clock());
        model = std::make_shared<QELMySoundEffectsViewModel>(*storage);
        catalogue = std::make_shared<QELSoundEffectListViewModel>()->dataProvider();
        screen = std::make_shared<QELMySoundEffectsViewController>(model);
        window = uitest::showInWindow(createNavigationController(screen), {320, 568});
        window->setBackgroundColor(Color::c6());
    }
    void TearDown() override {
        model->stop();
        window.reset();
        screen.reset();
        model.reset();
        storage.reset();
        UiTest::TearDown();
    }

    CollectionView* grid() { return screen->collectionView(); }
    QELSoundEffect::Ref builtIn(int64_t row, int64_t section = 0) {
        return catalogue->objectAtIndexPath({section, row});
    }
    QELMySoundEffectCollectionViewCell* cell(int64_t row) {
        return dynamic_cast<QELMySoundEffectCollectionViewCell*>(
            grid()->cellForItemAtIndexPath({0, row}));
    }
    // Holds the press on `row` for `seconds` of the run loop's clock.
    void press(int64_t row, double seconds) {
        QTest::mousePress(grid()->contentWidget(), Qt::LeftButton, {},
                          grid()->layoutFrameForItem({0, row}).center().toPoint());
        uitest::advance(seconds);
    }
    void release(int64_t row) {
        QTest::mouseRelease(grid()->contentWidget(), Qt::LeftButton, {},
                            grid()->layoutFrameForItem({0, row}).center().toPoint());
        uitest::drain();
    }
    std::vector<std::string> events() const { return sink->events(); }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const auto& entry : storage->soundEffects()) n.push_back(entry->name());
        return n;
    }

    QTemporaryDir home;
    std::unique_ptr<QELMySoundEffectStorage> storage;
    std::shared_ptr<QELMySoundEffectsViewModel> model;
    std::shared_ptr<QELSoundEffectListDataProvider> catalogue;
    std::unique_ptr<Window> window;
    std::shared_ptr<QELMySoundEffectsViewController> screen;
};

using Screen = QELMySoundEffectsViewController;

TEST_F(MineTest, TwoItemsToARowWithFifteenPointMarginsAt320) {
    for (int i = 0; i < 3; ++i) storage->addSoundEffect(builtIn(i));
    drain();
    EXPECT_EQ(grid()->layoutFrameForItem({0, 0}), QRectF(15, 15, 137.5, 100));
    EXPECT_EQ(grid()->layoutFrameForItem({0, 1}), QRectF(167.5, 15, 137.5, 100));
    EXPECT_EQ(grid()->layoutFrameForItem({0, 2}), QRectF(15, 130, 137.5, 100));
    EXPECT_EQ(grid()->layoutFrameForSupplementary(kCollectionElementKindSectionFooter, 0),
              QRectF(0, 230, 320, 44));
}

TEST_F(MineTest, TheEmptyViewShowsWhileNothingIsCollectedWithTheContactLineAtTheBottom) {
    EXPECT_TRUE(screen->emptyView()->isVisible());
    EXPECT_EQ(screen->emptyView()->titleLabel()->text(),
              QStringLiteral("空空的，这里什么都没有..."));
    const int H = grid()->contentsRect().height();
    EXPECT_EQ(screen->contactView()->geometry(), QRect(0, H - 44, 320, 44));
    EXPECT_TRUE(screen->contactView()->isVisible());
    EXPECT_TRUE(screen->contactView()->visibleRegion().boundingRect().height() == 44)
        << "not clipped by the short content";

    // The first entry hides it, the last deletion brings it back.
    storage->addSoundEffect(builtIn(0));
    drain();
    EXPECT_FALSE(screen->emptyView()->isVisible());
    storage->removeSoundEffect(storage->soundEffects()[0]);
    drain();
    EXPECT_TRUE(screen->emptyView()->isVisible());
}

TEST_F(MineTest, ContactLineFollowsTheEndOfTheContent) {
    // (visible height, content height, offset) -> bottom
    for (auto [h, c, y, bottom] : {std::array{500, 300, 0, 500}, {500, 800, 0, 800},
                                   {500, 800, 400, 900}, {500, 500, 0, 500}})
        EXPECT_EQ(Screen::contactViewBottom(h, c, y), bottom) << h << " " << c << " " << y;

    for (int i = 0; i < 12; ++i) storage->addSoundEffect(builtIn(i % 6, i / 6));
    drain();
    // Started over these entries, in a window of another size: right
    // from the first layout, and after every new size.
    window.reset();
    screen = std::make_shared<QELMySoundEffectsViewController>(model);
    window = uitest::showInWindow(createNavigationController(screen), {375, 667});
    for (int height : {667, 500}) {
        SCOPED_TRACE(height);
        window->resize(375, height);
        drain();
        EXPECT_EQ(grid()->contentOffset().y(), 0);
        EXPECT_EQ(screen->contactView()->geometry().bottom() + 1, grid()->contentSize().height());
        EXPECT_GE(screen->contactView()->y(), grid()->layoutFrameForItem({0, 11}).bottom());
    }
}

// Tapping, switching and stopping are the board's (BoardTest): here, what
// the collection's changes do to the playing entry.
TEST_F(MineTest, ThePlayingEntryKeepsItsItemAsEarlierEntriesGoAndStopsWhenItGoes) {
    for (int i = 0; i < 3; ++i) storage->addSoundEffect(builtIn(i));
    drain();
    tap(grid(), {0, 1});
    EXPECT_TRUE(cell(1)->isSelected());
    storage->removeSoundEffect(storage->soundEffects()[0]);
    drain();
    EXPECT_EQ(grid()->indexPathsForSelectedItems(), std::vector<IndexPath>{IndexPath(0, 0)});
    EXPECT_EQ(model->playingIndexPath(), IndexPath(0, 0));
    storage->removeSoundEffect(storage->soundEffects()[0]);
    drain();
    EXPECT_FALSE(model->playingEffect());
    EXPECT_TRUE(grid()->indexPathsForSelectedItems().empty());
    EXPECT_EQ(events(), std::vector<std::string>{"event:playFavorite"});
}

TEST_F(MineTest, ARecordingWithoutItsFileLooksUnavailableAndATapSaysWhyNothingPlays) {
    storage->addSoundEffect(builtIn(0));
    storage->addSoundEffect(QELSoundEffect::customSoundEffectWithName("丢失的录音", "/丢失的录音.caf"));
    drain();
    auto quiet = platform::setDebugErrorSink([](const platform::DebugErrorEntry&) {});
    tap(grid(), {0, 1});
    platform::setDebugErrorSink(quiet);
    EXPECT_FALSE(cell(1)->isSelected());
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(cell(0)->isAvailable());
    EXPECT_FALSE(cell(1)->isAvailable());
    const auto& alert = QELNavigationAlertManager::alertView().alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title, QStringLiteral("音效文件不见了"));
}

TEST_F(MineTest, ALongPressOrContextClickOpensTheCardOnceAndIsNoTap) {
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

    // The desktop's context click opens the card at once.
    QTest::mouseClick(grid()->contentWidget(), Qt::RightButton, {}, start);
    drain();
    EXPECT_EQ(presses, 2);
    EXPECT_TRUE(popoverState(*screen->editOptions()).popoverWindow);
}

TEST_F(MineTest, AFilledGridShowsEveryEntryThePlayingOneInTheAccentColourAndTagsRecordings) {
    storage->addSoundEffect(builtIn(0));
    storage->addSoundEffect(QELSoundEffect::customSoundEffectWithName("我的开场白", "/a.caf"));
    storage->addSoundEffect(builtIn(1, 1));
    storage->addSoundEffect(QELSoundEffect::customSoundEffectWithName("掌声雷动", "/b.caf"));
    storage->addSoundEffect(builtIn(2, 2));
    drain();
    tap(grid(), {0, 2});
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

constexpr const char* kHint = "长按可再次编辑";

class MineEditTest : public MineTest {
protected:
    void SetUp() override {
        MineTest::SetUp();
        UserDefaults::standard().removeObjectForKey(QELMySoundEffectsViewController::kEditAlertKey);
    }
    void TearDown() override {
        uitest::advance(10);  // lets a shown hint finish
        MineTest::TearDown();
    }

    QELSoundEffectPickViewController* picker() {
        auto* nav = dynamic_cast<NavigationController*>(screen->presentedViewController());
        return nav ? dynamic_cast<QELSoundEffectPickViewController*>(nav->topViewController())
                   : nullptr;
    }
    void openAddPicker() { tap(screen->navigationController()->navigationBar()->leftButton()); }
    void choose(const IndexPath& ip) {
        ASSERT_TRUE(picker());
        tap(picker()->collectionView(), ip);
    }
    // Esc pressed where the keyboard is, bubbling up as keys do.
    static void escape(QWidget* where) {
        QTest::keyClick(where, Qt::Key_Escape);
        uitest::drain();
    }
    void longPress(int64_t row) {
        press(row, LongPressGestureRecognizer::kDefaultMinimumPressDuration);
        release(row);
    }
    bool hintRemembered() const {
        return UserDefaults::standard().boolForKey(QELMySoundEffectsViewController::kEditAlertKey);
    }

    int hints() const { return static_cast<int>(alerts.titles.count(kHint)); }

    uitest::AlertTitles alerts;
};

TEST_F(MineEditTest, TheCardStacksItsChoicesCancelAndEscLeaveTheEntryAndDeleteRemovesIt) {
    storage->addSoundEffect(builtIn(0));
    drain();
    longPress(0);
    auto* card = screen->editOptions();
    ASSERT_TRUE(card);
    // Sixty narrower than the screen, its buttons stacked under the question.
    EXPECT_EQ(card->view()->width(), 320 - 60);
    EXPECT_EQ(card->titleLabel()->text(), QStringLiteral("你要做什么？"));
    int top = card->titleLabel()->geometry().bottom();
    for (QWidget* b : std::initializer_list<QWidget*>{card->replaceButton(), card->deleteButton(),
                                                      card->hotkeyButton(), card->cancelButton()}) {
        EXPECT_GT(b->y(), top);
        top = b->geometry().bottom();
    }
    EXPECT_EQ(top + 1 + 30, card->view()->height());
    tap(card->cancelButton());
    EXPECT_FALSE(popoverState(*card).popoverWindow);
    longPress(0);
    escape(screen->editOptions()->view());
    EXPECT_FALSE(popoverState(*screen->editOptions()).popoverWindow);
    EXPECT_EQ(names().size(), 1u);

    longPress(0);
    tap(screen->editOptions()->deleteButton());
    EXPECT_TRUE(names().empty());
    EXPECT_FALSE(popoverState(*screen->editOptions()).popoverWindow);
    EXPECT_TRUE(events().empty());
}

TEST_F(MineEditTest, ReplaceKeepsTheLengthAndPutsTheChoiceInPlaceWithoutHint) {
    for (int i = 0; i < 3; ++i) storage->addSoundEffect(builtIn(i));
    drain();
    longPress(2);
    tap(screen->editOptions()->replaceButton());
    ASSERT_TRUE(picker());
    EXPECT_FALSE(popoverState(*screen->editOptions()).popoverWindow) << "the card has faded";
    const auto chosen = builtIn(4, 1);
    choose({1, 4});
    const std::vector<std::string> expected{builtIn(0)->name(), builtIn(1)->name(), chosen->name()};
    EXPECT_EQ(names(), expected);
    ASSERT_TRUE(cell(2));
    EXPECT_EQ(cell(2)->titleLabel()->text().toStdString(), chosen->name());
    EXPECT_FALSE(screen->presentedViewController()) << "the picker has closed";
    EXPECT_EQ(events(), std::vector<std::string>{"event:addFavorite"});
    EXPECT_FALSE(model->playingEffect()) << "a choice is not played";
    EXPECT_EQ(hints(), 0);
    EXPECT_FALSE(hintRemembered());
}

TEST_F(MineEditTest, ThePickerClosesAndTheHintComesAfterTheFirstChoiceOnly) {
    openAddPicker();
    ASSERT_TRUE(picker());
    tap(picker()->navigationController()->navigationBar()->leftButton());
    EXPECT_FALSE(screen->presentedViewController()) << "closed with its close button";
    openAddPicker();
    ASSERT_TRUE(picker());
    escape(picker()->collectionView());
    EXPECT_FALSE(screen->presentedViewController()) << "or with Esc";
    EXPECT_TRUE(names().empty());
    EXPECT_EQ(hints(), 0);
    EXPECT_FALSE(hintRemembered());

    openAddPicker();
    choose({0, 3});
    EXPECT_EQ(names(), std::vector<std::string>{builtIn(3)->name()});
    EXPECT_FALSE(screen->presentedViewController());
    EXPECT_EQ(hints(), 1);
    EXPECT_TRUE(alerts.inWindow) << "under a navigation bar, not a window of its own";
    EXPECT_TRUE(hintRemembered());
    uitest::advance(10);

    openAddPicker();
    choose({0, 3});
    EXPECT_EQ(hints(), 1) << "never again on this device";
    EXPECT_EQ(events(), (std::vector<std::string>{"event:addFavorite", "event:addFavorite"}));
}

}  // namespace
