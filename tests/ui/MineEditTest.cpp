#include "foundation/UserDefaults.h"
#include "ui/MineTest.h"
#include "ui/maker/QELPopover.h"
#include "ui/mine/QELMySoundEffectsEditOptionViewController.h"
#include "ui/mine/QELSoundEffectPickViewController.h"
#include "ui/utils/QELNavigationAlert.h"

using namespace platform;
using uitest::drain;

namespace {

constexpr const char* kHint = "长按可再次编辑";

// Counts the hint each time an alert panel comes on screen with it, and
// notes whether it came inside a window.
class HintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* view = dynamic_cast<QELNavigationAlertView*>(watched);
        if (view && event->type() == QEvent::Show &&
            view->titleLabel()->text() == QString::fromUtf8(kHint)) {
            ++shown;
            inWindow = !view->isWindow();
        }
        return false;
    }
    int shown = 0;
    bool inWindow = false;
};

class MineEditTest : public minetest::MineTest {
protected:
    void SetUp() override {
        MineTest::SetUp();
        UserDefaults::standard().removeObjectForKey(QELMySoundEffectsViewController::kEditAlertKey);
        qApp->installEventFilter(&hints);
    }
    void TearDown() override {
        uitest::advance(10);  // lets a shown hint finish
        qApp->removeEventFilter(&hints);
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
        tapItem(picker()->collectionView(), ip);
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
    // What another process reads once the writer is done.
    std::vector<std::string> storedNames() const {
        storage->flush();
        QELMySoundEffectStorage reread(collectionPath);
        std::vector<std::string> n;
        for (const auto& entry : reread.soundEffects()) n.push_back(entry->name());
        return n;
    }
    bool hintRemembered() const {
        return UserDefaults::standard().boolForKey(QELMySoundEffectsViewController::kEditAlertKey);
    }

    HintCounter hints;
};

TEST_F(MineEditTest, TheCardStacksItsChoicesAndCancelCallsNeitherCallback) {
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
    int calls = 0;
    card->setOnReplace([&](auto&) { ++calls; });
    card->setOnDelete([&](auto&) { ++calls; });
    tap(card->cancelButton());
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(popoverState(*card).popoverWindow);
    EXPECT_EQ(names().size(), 1u);
    EXPECT_FALSE(screen->presentedViewController());

    // Esc is its cancel.
    longPress(0);
    card = screen->editOptions();
    card->setOnReplace([&](auto&) { ++calls; });
    card->setOnDelete([&](auto&) { ++calls; });
    escape(card->view());
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(popoverState(*card).popoverWindow);
    EXPECT_EQ(names().size(), 1u);
}

TEST_F(MineEditTest, DeletingTheOnlyEntryShowsTheEmptyViewAndWritesTheFile) {
    storage->addSoundEffect(builtIn(0));
    drain();
    ASSERT_EQ(storedNames().size(), 1u);
    longPress(0);
    tap(screen->editOptions()->deleteButton());
    EXPECT_TRUE(names().empty());
    EXPECT_TRUE(storedNames().empty());
    EXPECT_TRUE(screen->emptyView()->isVisible());
    EXPECT_FALSE(popoverState(*screen->editOptions()).popoverWindow);
    EXPECT_TRUE(events().empty());
}

TEST_F(MineEditTest, ReplaceKeepsTheLengthAndPutsTheChoiceInPlaceWithoutHint) {
    for (int i = 0; i < 3; ++i) storage->addSoundEffect(builtIn(i));
    drain();
    longPress(2);
    tap(screen->editOptions()->replaceButton());
    ASSERT_TRUE(picker());
    EXPECT_EQ(picker()->title(), QStringLiteral("添加"));
    EXPECT_FALSE(popoverState(*screen->editOptions()).popoverWindow) << "the card has faded";
    const auto chosen = builtIn(4, 1);
    choose({1, 4});
    const std::vector<std::string> expected{builtIn(0)->name(), builtIn(1)->name(), chosen->name()};
    EXPECT_EQ(names(), expected);
    EXPECT_EQ(storedNames(), expected);
    EXPECT_EQ(grid()->numberOfItemsInSection(0), 3);
    ASSERT_TRUE(cell(2));
    EXPECT_EQ(cell(2)->titleLabel()->text().toStdString(), chosen->name());
    EXPECT_FALSE(screen->presentedViewController()) << "the picker has closed";
    EXPECT_EQ(events(), std::vector<std::string>{"event:addFavorite"});
    EXPECT_FALSE(model->playingEffect()) << "a choice is not played";
    EXPECT_EQ(hints.shown, 0);
    EXPECT_FALSE(hintRemembered());
}

TEST_F(MineEditTest, AddFlowShowsTheHintOnlyAfterTheFirstChoiceAndIgnoresDuplicates) {
    openAddPicker();
    ASSERT_TRUE(picker());
    tap(picker()->navigationController()->navigationBar()->leftButton());
    EXPECT_FALSE(screen->presentedViewController()) << "closed with its close button";
    openAddPicker();
    ASSERT_TRUE(picker());
    escape(picker()->collectionView());
    EXPECT_FALSE(screen->presentedViewController()) << "or with Esc";
    EXPECT_TRUE(names().empty());
    EXPECT_EQ(hints.shown, 0);
    EXPECT_FALSE(hintRemembered());

    openAddPicker();
    choose({0, 3});
    EXPECT_EQ(names(), std::vector<std::string>{builtIn(3)->name()});
    EXPECT_FALSE(screen->emptyView()->isVisible());
    EXPECT_FALSE(screen->presentedViewController());
    EXPECT_EQ(hints.shown, 1);
    EXPECT_TRUE(hints.inWindow) << "under a navigation bar, not a window of its own";
    EXPECT_TRUE(hintRemembered());
    uitest::advance(10);

    openAddPicker();
    choose({0, 3});
    EXPECT_EQ(names().size(), 1u) << "the same effect twice is one entry";
    EXPECT_EQ(hints.shown, 1) << "never again on this device";
    EXPECT_EQ(events(), (std::vector<std::string>{"event:addFavorite", "event:addFavorite"}));
}

TEST_F(MineEditTest, ThePickerShowsTheWholeCatalogueByName) {
    openAddPicker();
    ASSERT_TRUE(picker());
    CollectionView* pick = picker()->collectionView();
    uitest::screenshot(*pick->window(), "mine-picker.png");
    ASSERT_EQ(pick->numberOfSections(), catalogue->numberOfSections());
    for (int64_t section = 0; section < pick->numberOfSections(); ++section)
        EXPECT_EQ(pick->numberOfItemsInSection(section), catalogue->numberOfItemsInSection(section));
    auto* first =
        dynamic_cast<QELSoundEffectCollectionViewCell*>(pick->cellForItemAtIndexPath({0, 1}));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->titleLabel()->text().toStdString(), builtIn(1)->name());
}

}  // namespace
