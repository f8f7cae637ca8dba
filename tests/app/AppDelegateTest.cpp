#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <mutex>

#include "analytics/collect/TallyRuntime.h"
#include "analytics/device/TLANProtocolData.h"
#include "analytics/support/TallyLog.h"
#include "app/QELAppDelegate.h"
#include "app/QELTabBarController.h"
#include "core/remote/QELHotkeys.h"
#include "core/remote/QELRemoteCommands.h"
#include "support/TestSupport.h"
#include "ui/UiTest.h"
#include "ui/board/QELSoundEffectListViewController.h"
#include "ui/hotkeys/QELHotkeyCaptureDialog.h"
#include "ui/maker/QELSoundEffectMakeViewController.h"
#include "ui/mine/QELMySoundEffectsEditOptionViewController.h"
#include "ui/mine/QELMySoundEffectsViewController.h"
#include "ui/platform/Animation.h"
#include "ui/platform/Palette.h"
#include "ui/settings/QELSettingsViewController.h"
#include "ui/utils/QELNavigationAlert.h"
#include "ui/utils/QELNavigationController.h"

using namespace platform;
using uitest::drain;

namespace {

// A launched application over an analytics SDK of the test's own: the
// test's clock and files, the process's main loop and notifications.
class AppDelegateTest : public uitest::UiTest {
protected:
    AppDelegateTest()
        : defaults(dir.file("Preferences/defaults.plist")),
          runtime(uitest::tallyEnvironment(defaults, dir.path())),
          scope(runtime) {
        setTallyLogSink([this](const std::string& line) {
            std::lock_guard lock(logMutex);
            tallyLog.push_back(line);
        });
    }
    ~AppDelegateTest() override { setTallyLogSink({}); }


    void SetUp() override {
        UiTest::SetUp();
        delegate = std::make_unique<QELAppDelegate>();
        ASSERT_TRUE(delegate->didFinishLaunching(*qApp));
        drain();
        tabs = delegate->tabBarController();
    }
    void TearDown() override {
        delegate.reset();
        UiTest::TearDown();
    }

    size_t logged(const std::string& prefix) {
        std::lock_guard lock(logMutex);
        return static_cast<size_t>(std::count_if(tallyLog.begin(), tallyLog.end(),
                                                 [&](auto& l) { return l.starts_with(prefix); }));
    }
    void tapTab(int index) { uitest::tap(tabs->tabBar()->button(index)); }
    size_t clickTabs() {
        return static_cast<size_t>(std::ranges::count(sink->log, "event:click_tab"));
    }

    testsupport::TempDir dir;
    UserDefaults defaults;
    TallyRuntime runtime;
    TallyRuntime::Scope scope;
    std::mutex logMutex;
    std::vector<std::string> tallyLog;
    std::unique_ptr<QELAppDelegate> delegate;
    QELTabBarController* tabs = nullptr;
};

TEST_F(AppDelegateTest, LaunchShowsThreeImageTabsWithTheBoardFirstAndBeginsOneSession) {
    ASSERT_TRUE(tabs);
    EXPECT_EQ(delegate->window()->rootViewController(), tabs);
    ASSERT_EQ(tabs->viewControllers().size(), 3u);
    EXPECT_EQ(tabs->selectedIndex(), 0);
    auto* board = dynamic_cast<QELNavigationController*>(tabs->selectedViewController());
    ASSERT_TRUE(board);
    EXPECT_EQ(board->topViewController(), &tabs->soundEffectListViewController());
    for (const auto& controller : tabs->viewControllers()) {
        EXPECT_TRUE(dynamic_cast<QELNavigationController*>(controller.get()));
        EXPECT_FALSE(controller->tabBarItem().image.isNull());
        EXPECT_FALSE(controller->tabBarItem().selectedImage.isNull());
    }
    const QImage shot = delegate->window()->grab().toImage();
    const QPoint barPoint(2, delegate->window()->height() - 2);
    EXPECT_EQ(shot.pixelColor(barPoint * shot.devicePixelRatio()), Color::c5());

    EXPECT_EQ(runtime.session().sessionStatus, TallySession::kActive);
    EXPECT_EQ(logged("session begin:"), 1u);
    EXPECT_EQ(logged("WARNING app has already activate."), 0u);
    const auto screen = TLANProtocolData::screen();
    ASSERT_TRUE(screen);
    EXPECT_GT(screen->width, 0);
    const auto info = TLANProtocolData::applicationInfo();
    const std::string* identifier = info.at("CFBundleIdentifier").asString();
    ASSERT_TRUE(identifier);
    EXPECT_EQ(*identifier, QELAppDelegate::kBundleIdentifier);
}

TEST_F(AppDelegateTest, TabsTheUserPicksByTapOrCtrlDigitAreCountedAndCtrlQCloses) {
    tapTab(2);
    tapTab(2);
    EXPECT_EQ(tabs->selectedIndex(), 2);
    tabs->setSelectedIndex(0);
    EXPECT_EQ(clickTabs(), 2u) << "a tap on the chosen tab counts; a choice in code does not";
    Window* window = delegate->window();
    window->activateWindow();
    drain();
    QTest::keyClick(window, Qt::Key_2, Qt::ControlModifier);
    drain();
    EXPECT_EQ(tabs->selectedIndex(), 1);
    EXPECT_EQ(clickTabs(), 3u);
    // Without a microphone the maker asks first; its question holds the keys.
    if (auto* alert = tabs->soundEffectMakeViewController().microPhoneAlert())
        alert->dismissWithClickedButtonIndex(0);
    window->activateWindow();  // as the desktop does when the question goes
    drain();
    QTest::keyClick(window, Qt::Key_1, Qt::ControlModifier);
    drain();
    EXPECT_EQ(tabs->selectedIndex(), 0);

    // Closed as the desktop closes it: what quits the program.
    struct CloseCounter : QObject {
        int closes = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            closes += e->type() == QEvent::Close;
            return false;
        }
    } counter;
    window->installEventFilter(&counter);
    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    drain();
    window->removeEventFilter(&counter);
    EXPECT_EQ(counter.closes, 1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(AppDelegateTest, TheWindowKeepsAMinimumSizeAndItsPlaceBetweenStarts) {
    EXPECT_EQ(delegate->window()->minimumSize(), QSize(320, 480));
    UserDefaults own(dir.file("Preferences/window.plist"));
    auto restart = [&] {
        delegate.reset();
        drain();
        delegate = std::make_unique<QELAppDelegate>(own);
        delegate->didFinishLaunching(*qApp);
        drain();
        return delegate->window();
    };
    Window* window = restart();
    window->resize(360, 560);
    window->move(30, 40);
    drain();
    delegate->saveWindowGeometry();
    window = restart();
    EXPECT_EQ(window->size(), QSize(360, 560));
    EXPECT_EQ(window->pos(), QPoint(30, 40));

    own.setObject(Value(std::string("-5000,-5000,100,100")), QELAppDelegate::kWindowGeometryKey);
    window = restart();
    EXPECT_EQ(window->size(), QSize(320, 480)) << "never below the minimum";
    EXPECT_NE(window->pos(), QPoint(-5000, -5000)) << "not on a screen that is not there";

    own.setObject(Value(std::string("0,0,360,5000")), QELAppDelegate::kWindowGeometryKey);
    window = restart();
    EXPECT_LE(window->height(), window->screen()->availableGeometry().height())
        << "never taller than the screen";
}

TEST_F(AppDelegateTest, AnAlertStaysOnItsScreenForItsWholeTime) {
    auto& alertView = QELNavigationAlertManager::alertView();
    tapTab(1);
    auto* maker = static_cast<QELNavigationController*>(tabs->selectedViewController());
    setAnimationsInstant(false);
    QELNavigationAlertManager::showAlert(QELNavigationAlert(QStringLiteral("录制时间为 2s 以上")));
    drain();
    ASSERT_TRUE(alertView.isVisible());
    tapTab(2);
    EXPECT_FALSE(alertView.isHidden());
    EXPECT_EQ(alertView.parentWidget(), maker->navigationBar()->parentWidget());
    tapTab(1);
    EXPECT_TRUE(alertView.isVisible()) << "still up on return";
    EXPECT_EQ(alertView.titleLabel()->text(), QStringLiteral("录制时间为 2s 以上"));
    setAnimationsInstant(true);
    removeAllAnimations(&alertView);
}

}  // namespace

TEST_F(AppDelegateTest, TheBoardsGearAndTheMakersSettingsOpenTheSettingsScreen) {
    auto* board = dynamic_cast<QELNavigationController*>(tabs->selectedViewController());
    ASSERT_TRUE(board);
    Button* gear = board->navigationBar()->rightButton();
    ASSERT_TRUE(gear->isVisibleTo(board->navigationBar()));
    uitest::tap(gear);
    auto* settings = dynamic_cast<QELSettingsViewController*>(board->topViewController());
    ASSERT_TRUE(settings);
    EXPECT_EQ(board->navigationBar()->title(), "设置");
    // The null output of the tests: no sound server, so no virtual microphone.
    EXPECT_FALSE(settings->routingSwitch()->isEnabled());
    EXPECT_TRUE(settings->noteLabel()->text().contains("PipeWire 或 PulseAudio"));
    // The hotkeys: offscreen has no key grabs, and says so; a row clears.
    QWidget* screen = settings->view();
    EXPECT_TRUE(std::ranges::any_of(screen->findChildren<QLabel*>(), [](QLabel* label) {
        return label->text().contains("不支持全局快捷键");
    }));
    auto* stopAll = screen->findChild<QLabel*>(QELHotkeys::kDefaultStopAll);
    ASSERT_TRUE(stopAll);
    EXPECT_EQ(stopAll->text(), QString("ctrl+alt+0  stop-all"));
    auto* clear = stopAll->parentWidget()->findChild<QPushButton*>();
    ASSERT_TRUE(clear);
    clear->click();
    drain();
    EXPECT_TRUE(QELHotkeys().all().empty());
    QELHotkeys().set({*QELKeyCombo::parse(QELHotkeys::kDefaultStopAll), QELHotkey::Action::StopAll,
                      "", ""});

    // With no microphone, the maker's 设置 opens the same screen, where the
    // input is chosen, rather than a program of the desktop.
    tabs->userSelected(1);
    drain();
    auto* maker = dynamic_cast<QELNavigationController*>(tabs->selectedViewController());
    ASSERT_TRUE(maker);
    tabs->soundEffectMakeViewController().alertViewDidDismissWithButtonIndex(1);
    drain();
    EXPECT_TRUE(dynamic_cast<QELSettingsViewController*>(maker->topViewController()));
}

TEST_F(AppDelegateTest, RemotePlaysLightTheItemAndAreCountedAsTapsAre) {
    QELRemoteCommands* commands = delegate->remoteCommands();
    ASSERT_TRUE(commands);
    auto& board = tabs->soundEffectListViewController();
    auto effect = board.viewModel()->objectAtIndexPath({0, 1});
    auto playEvents = [&](const char* id) { return std::ranges::count(sink->log, id); };

    EXPECT_TRUE(commands->play(effect->category(), effect->name()));
    drain();
    EXPECT_EQ(board.collectionView()->indexPathsForSelectedItems(),
              std::vector<IndexPath>{IndexPath(0, 1)});
    EXPECT_EQ(playEvents("event:playSound"), 1);

    // The collection's screen has not been shown yet: it loads to play.
    auto& mine = tabs->mySoundEffectsViewController();
    mine.viewModel()->addSoundEffect(effect);
    EXPECT_TRUE(commands->playFavorite(effect->name()));
    drain();
    EXPECT_EQ(playEvents("event:playFavorite"), 1);
    EXPECT_EQ(mine.collectionView()->indexPathsForSelectedItems().size(), 1u);
    // The board's stop-all button stops it from the other tab.
    auto* boardNav = static_cast<QELNavigationController*>(tabs->viewControllers()[0].get());
    Button* stopAll = boardNav->navigationBar()->leftButton();
    ASSERT_TRUE(stopAll->isVisibleTo(boardNav->navigationBar()));
    uitest::tap(stopAll);
    EXPECT_TRUE(mine.collectionView()->indexPathsForSelectedItems().empty());
    EXPECT_EQ(commands->playing(), "");
    mine.viewModel()->removeSoundEffect(mine.viewModel()->storage().soundEffects().back());
}

TEST_F(AppDelegateTest, ABoardItemsLongPressAndTheCollectionsCardAssignAHotkeyAsPressed) {
    auto& board = tabs->soundEffectListViewController();
    const auto effect = board.viewModel()->objectAtIndexPath({0, 1});
    auto capture = [&] { return delegate->window()->findChild<QELHotkeyCaptureDialog*>(); };
    auto stored = [] {
        std::vector<std::string> out;
        for (const QELHotkey& h : QELHotkeys().all()) out.push_back(h.combo.text() + " " + h.describe());
        std::ranges::sort(out);
        return out;
    };
    // The desktop's context click is the board's long press.
    CollectionView* grid = board.collectionView();
    const QPoint at = grid->cellForItemAtIndexPath({0, 1})->geometry().center();
    QTest::mouseClick(grid->contentWidget(), Qt::RightButton, {}, at);
    drain();
    QPointer<QELHotkeyCaptureDialog> dialog = capture();
    ASSERT_TRUE(dialog);
    QTest::keyPress(dialog, Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(dialog->comboLabel()->text(), "ctrl+alt+…");
    // Without a modifier, and one stop-all has: said, and nothing stored.
    QTest::keyClick(dialog, Qt::Key_X);
    EXPECT_TRUE(dialog->noteLabel()->text().contains("需要"));
    QTest::keyClick(dialog, Qt::Key_0, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(dialog->noteLabel()->text(), "ctrl+alt+0 已用于「stop-all」，请换一个组合。");
    QTest::keyClick(dialog, Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier);
    drain();
    EXPECT_FALSE(dialog) << "taken and closed";
    const std::string target = effect->category() + "/" + effect->name();
    EXPECT_EQ(stored(), (std::vector<std::string>{"ctrl+alt+0 stop-all", "ctrl+shift+1 " + target}));

    // Esc leaves without storing.
    QTest::mouseClick(grid->contentWidget(), Qt::RightButton, {}, at);
    drain();
    dialog = capture();
    ASSERT_TRUE(dialog);
    QTest::keyClick(dialog, Qt::Key_Escape);
    drain();
    EXPECT_FALSE(dialog);

    // The collection's card offers it for a favourite.
    auto& mine = tabs->mySoundEffectsViewController();
    mine.viewModel()->addSoundEffect(effect);
    tapTab(2);
    mine.showEditOptions(mine.viewModel()->storage().soundEffects().back());
    drain();
    ASSERT_TRUE(mine.editOptions());
    Button* hotkey = mine.editOptions()->hotkeyButton();
    QTest::mouseClick(hotkey, Qt::LeftButton, {}, hotkey->rect().center());
    uitest::advance(1);
    drain();
    dialog = capture();
    ASSERT_TRUE(dialog);
    QTest::keyClick(dialog, Qt::Key_F2, Qt::MetaModifier);
    drain();
    EXPECT_FALSE(dialog);
    EXPECT_EQ(stored(), (std::vector<std::string>{"ctrl+alt+0 stop-all", "ctrl+shift+1 " + target,
                                                  "super+f2 favorite:" + effect->name()}));
    mine.viewModel()->removeSoundEffect(mine.viewModel()->storage().soundEffects().back());
}
