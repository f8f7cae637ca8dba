// The maker screen in a window of its own over a temporary Library,
// recording from a null engine whose microphone hears a 1 kHz tone.
#include <QInputMethodEvent>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <memory>

#include "audio/AudioEngine.h"
#include "audio/NullAudioBackend.h"
#include "foundation/DebugLog.h"
#include "foundation/RunLoop.h"
#include "support/TestSupport.h"
#include "ui/UiTest.h"
#include "ui/maker/QELSoundEffectEditorPickView.h"
#include "ui/maker/QELSoundEffectMakeViewController.h"
#include "ui/maker/QELSoundEffectSaveViewController.h"
#include "ui/platform/Palette.h"
#include "ui/platform/View.h"
#include "ui/utils/QELNavigationAlert.h"
#include "ui/utils/QELNavigationController.h"

namespace fs = std::filesystem;
using namespace platform;
using State = QELSoundEffectMakeViewController::State;
using Type = QELSoundEffectEditType;

namespace {

class MakerTest : public uitest::UiTest {
protected:
    using Permission = AudioSession::RecordPermission;

    void SetUp() override {
        UiTest::SetUp();
        auto backend = std::make_unique<NullAudioBackend>(RunLoop::main());
        std::vector<float> tone(44100 * 20);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.3f * static_cast<float>(std::sin(2 * M_PI * 1000 * double(i) / 44100));
        backend->setInputSignal(std::move(tone));
        engine.start(std::move(backend));
    }
    void TearDown() override {
        window.reset();
        controller.reset();
        viewModel.reset();
        uitest::drain();
        engine.stop();
        UiTest::TearDown();
    }
    void open(Permission p = Permission::Granted, QELSoundEffectEditor::Executor renders = {}) {
        permission = p;
        viewModel =
            std::make_shared<QELSoundEffectMakeViewModel>(QELSoundEffectMakeViewModel::Environment{
                dir.file("record"), dir.file("Custom"), &storage, &engine, std::move(renders)});
        controller = std::make_shared<QELSoundEffectMakeViewController>(viewModel);
        controller->setRecordPermissionSource([this] { return permission; });
        controller->setSettingsOpener([this] {
            ++settingsOpened;
            return true;
        });
        window = uitest::showInWindow(createNavigationController(controller), {320, 568});
    }

    QELSoundEffectMakerView& view() const { return *controller->makerView(); }
    std::string recordDir() const { return dir.file("record"); }
    QPoint centre() const { return view().recordButton()->rect().center(); }
    void press() { QTest::mousePress(view().recordButton(), Qt::LeftButton, {}, centre()); }
    void release(bool inside = true) {
        QTest::mouseRelease(view().recordButton(), Qt::LeftButton, {},
                            inside ? centre() : QPoint(-30, -30));
        uitest::drain();
    }
    // Time passing in display frames while the button is held.
    static void hold(double seconds) {
        for (int i = 0; i < static_cast<int>(seconds / 0.05 + 0.5); ++i) uitest::advance(0.05);
    }
    void record(double seconds) {
        press();
        hold(seconds);
        release();
    }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    QString time() const { return view().timeLabel()->text(); }
    // Until the variant `type` is current and the screen takes taps again.
    bool rendered(Type type) {
        return RunLoop::main().runUntil([&] {
            return viewModel->currentEditType() == type && view().saveButton()->isEnabled();
        });
    }
    size_t count(const std::string& entry) {
        return static_cast<size_t>(std::count(sink->log.begin(), sink->log.end(), entry));
    }

    AudioEngine engine{RunLoop::main()};
    testsupport::TempDir dir;
    QELMySoundEffectStorage storage{dir.file("Customcollection.info")};
    Permission permission = Permission::Granted;
    int settingsOpened = 0;
    std::shared_ptr<QELSoundEffectMakeViewModel> viewModel;
    std::shared_ptr<QELSoundEffectMakeViewController> controller;
    std::unique_ptr<Window> window;
};

TEST_F(MakerTest, AHoldUnderTheLowerBoundIsRefusedAndOneOverItIsKept) {
    open();
    QELSoundEffectMakerView& v = view();
    EXPECT_FALSE(v.discardButton()->isEnabled() || v.saveButton()->isEnabled());
    uitest::AlertTitles alerts;
    press();
    EXPECT_TRUE(controller->hasDisplayLink() && controller->hasTimer());
    hold(1.9);
    EXPECT_EQ(time(), "01 s");
    EXPECT_GT(v.waveFormView()->amplitude, 0.3) << "the wave follows the tone's level";
    release();
    EXPECT_EQ(alerts.titles, QStringList{"录制时间为 2s 以上"});
    EXPECT_EQ(controller->state(), State::Ready);
    EXPECT_EQ(time(), "00 s");
    EXPECT_FALSE(controller->hasDisplayLink() || controller->hasTimer());
    EXPECT_TRUE(fs::is_empty(recordDir())) << "the short take is thrown away";

    // Sliding off the button before letting go ends the take the same way.
    press();
    hold(2.5);
    release(false);
    EXPECT_EQ(controller->state(), State::Recorded);
    EXPECT_FALSE(v.recordButton()->isEnabled());
    EXPECT_EQ(v.recordButton()->currentBackgroundImage().cacheKey(),
              v.recordButton()->backgroundImage(ControlState::Disabled).cacheKey());
    EXPECT_TRUE(v.discardButton()->isEnabled() && v.saveButton()->isEnabled());
    EXPECT_EQ(alpha(v.waveFormView()), 0.0);
    EXPECT_EQ(alpha(v.editPickView()), 1.0);
    EXPECT_EQ(time(), "02 s");
    EXPECT_EQ(count("event:record_sound"), 2u) << "inside and outside releases both count";

    click(v.discardButton());
    EXPECT_EQ(controller->state(), State::Ready);
    EXPECT_TRUE(fs::is_empty(recordDir()));
    EXPECT_EQ(alpha(v.editPickView()), 0.0);
}

// Renders held back by the test: Slow is picked, then Loli before Slow has
// rendered, and Slow ends last.
TEST_F(MakerTest, TheLastVoicePickedIsHighlightedAndHeardAndSaveWaitsForEveryRender) {
    std::vector<platform::Task> held;
    open(Permission::Granted, [&](platform::Task task) { held.push_back(std::move(task)); });
    record(2.5);
    QELSoundEffectEditorPickView* picker = view().editPickView();
    click(picker->slowButton());
    click(picker->loliButton());
    ASSERT_EQ(held.size(), 2u);
    EXPECT_FALSE(view().saveButton()->isEnabled() || view().discardButton()->isEnabled());
    held[1]();
    uitest::drain();
    EXPECT_EQ(viewModel->currentPlayingType(), Type::Loli);
    EXPECT_FALSE(view().saveButton()->isEnabled()) << "Slow still renders";
    held[0]();
    uitest::drain();
    for (auto* b : picker->buttons()) EXPECT_EQ(b->isSelected(), b == picker->loliButton());
    EXPECT_TRUE(picker->loliButton()->bottomView()->isVisible());
    EXPECT_EQ(viewModel->currentPlayingType(), Type::Loli) << "what is heard is what is saved";
    EXPECT_TRUE(view().saveButton()->isEnabled());

    // A rendered voice answers at once.
    click(picker->slowButton());
    EXPECT_EQ(viewModel->currentPlayingType(), Type::Slow);
    EXPECT_TRUE(picker->slowButton()->isSelected());
    EXPECT_FALSE(picker->loliButton()->bottomView()->isVisible());
    EXPECT_EQ(count("event:click_sound_effect"), 3u);
}

// A take that cannot be read renders nothing, and the screen must not wait
// for it with discard and save held off.
TEST_F(MakerTest, AnUnreadableTakeLeavesDiscardAndSaveUsable) {
    open();
    record(2.5);
    testsupport::writeText(viewModel->tmpRecordFilePath(), "not audio");
    auto quiet = platform::setDebugErrorSink([](const platform::DebugErrorEntry&) {});
    click(view().editPickView()->uncleButton());
    const bool settled =
        RunLoop::main().runUntil([&] { return view().discardButton()->isEnabled(); });
    platform::setDebugErrorSink(quiet);
    ASSERT_TRUE(settled);
    EXPECT_TRUE(view().saveButton()->isEnabled());
    click(view().discardButton());
    EXPECT_EQ(controller->state(), State::Ready);
}

TEST_F(MakerTest, AConfirmedSaveCollectsTheTypedNameAndReturnsToReady) {
    open();
    record(2.5);
    click(view().editPickView()->slowButton());
    ASSERT_TRUE(rendered(Type::Slow));
    click(view().saveButton());
    EXPECT_EQ(count("event:makeSound"), 1u);
    QELSoundEffectSaveViewController* save = controller->saveViewController();
    ASSERT_TRUE(save && popoverState(*save).popoverWindow);
    EXPECT_EQ(save->saveView()->width(), 320 - 84);
    // Equal halves of an odd width differ by the pixel they share out.
    EXPECT_LE(std::abs(save->saveView()->cancelButton()->width() -
                       save->saveView()->confirmButton()->width()),
              1);
    // Typed through the input method, as Chinese is.
    QInputMethodEvent typed;
    typed.setCommitString(QStringLiteral("低沉 的我"));
    QApplication::sendEvent(save->saveView()->textField(), &typed);
    click(save->saveView()->confirmButton());
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return controller->state() == State::Ready; }));
    EXPECT_FALSE(popoverState(*save).popoverWindow);
    ASSERT_EQ(storage.soundEffects().size(), 1u);
    EXPECT_EQ(storage.soundEffects()[0]->name(), "低沉 的我");
    for (auto* b : view().editPickView()->buttons()) EXPECT_FALSE(b->isSelected());
}

TEST_F(MakerTest, ANameInUseIsReplacedOnlyWhenTheUserSaysSo) {
    open();
    testsupport::writeText(dir.file("Custom/开场.caf"), "the recording there was");
    storage.addSoundEffect(QELSoundEffect::customSoundEffectWithName("开场", "/开场.caf"));
    record(2.5);
    click(view().saveButton());
    auto* save = controller->saveViewController();
    save->saveView()->textField()->setText("开场");

    QTest::keyClick(save->saveView()->textField(), Qt::Key_Return);
    ASSERT_TRUE(save->replaceAlert());
    EXPECT_EQ(save->replaceAlert()->text(), "已有同名音效");
    EXPECT_EQ(save->replaceAlert()->buttonTitleAtIndex(1), "替换");
    QTest::keyClick(save->replaceAlert(), Qt::Key_Escape);  // as 取消
    uitest::drain();
    EXPECT_FALSE(save->replaceAlert());
    EXPECT_FALSE(save->isSaving());
    EXPECT_EQ(fs::file_size(dir.file("Custom/开场.caf")), 23u) << "the old one is kept";

    click(save->saveView()->confirmButton());
    ASSERT_TRUE(save->replaceAlert());
    save->replaceAlert()->dismissWithClickedButtonIndex(1);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return controller->state() == State::Ready; }));
    EXPECT_GT(fs::file_size(dir.file("Custom/开场.caf")), 1000u) << "the new take";
}

TEST_F(MakerTest, EmptyRefusedAndCancelledNamesKeepTheTake) {
    open();
    record(2.5);
    click(view().saveButton());
    auto* save = controller->saveViewController();
    QELSoundEffectSaveView* card = save->saveView();
    auto confirm = [&](const QString& name) {
        card->textField()->setText(name);
        click(card->confirmButton());
        EXPECT_TRUE(RunLoop::main().runUntil([&] { return !save->isSaving(); }));
        uitest::advance(5);
    };
    uitest::AlertTitles alerts;
    confirm("");
    EXPECT_TRUE(alerts.titles.empty()) << "an empty name does nothing";
    // Refused by the collection, then by the file system (too long): told,
    // and the dialog stays.
    confirm("..");
    confirm(QString(300, QLatin1Char('a')));
    EXPECT_EQ(alerts.titles,
              (QStringList{QString::fromUtf8(QELSoundEffectMakeViewModel::kInvalidNameMessage),
                           QString::fromUtf8(QELSoundEffectSaveViewController::kSaveFailedMessage)}));
    EXPECT_TRUE(popoverState(*save).popoverWindow);
    EXPECT_TRUE(card->isEnabled());

    // The field's own clear control, the only one, empties it.
    EXPECT_FALSE(card->textField()->isClearButtonEnabled());
    click(card->textField()->clearButton());
    EXPECT_EQ(card->textField()->text(), "");
    EXPECT_TRUE(popoverState(*save).popoverWindow);

    card->textField()->setText("留着");
    QTest::keyClick(card->textField(), Qt::Key_Escape);  // as 取消
    uitest::drain();
    EXPECT_FALSE(popoverState(*save).popoverWindow);
    EXPECT_EQ(controller->state(), State::Recorded) << "not discarded";
}

TEST_F(MakerTest, TheMicrophoneQuestionComesAtMostOnceInTwoHours) {
    open(Permission::Denied);
    EXPECT_FALSE(view().recordButton()->isEnabled());
    AlertView* alert = controller->microPhoneAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), "没有找到麦克风");
    EXPECT_EQ(alert->buttonTitleAtIndex(1), "设置");
    alert->dismissWithClickedButtonIndex(0);
    uitest::drain();
    EXPECT_EQ(settingsOpened, 0);

    uitest::advance(7199);
    controller->viewDidAppear(false);
    EXPECT_FALSE(controller->microPhoneAlert());
    uitest::advance(1);
    controller->viewDidAppear(false);
    ASSERT_TRUE(controller->microPhoneAlert());
    controller->microPhoneAlert()->dismissWithClickedButtonIndex(1);
    EXPECT_EQ(settingsOpened, 1);

    // Nothing to open: said, not silently ignored.
    uitest::AlertTitles alerts;
    controller->setSettingsOpener([] { return false; });
    controller->alertViewDidDismissWithButtonIndex(1);
    uitest::drain();
    EXPECT_EQ(alerts.titles, QStringList{QString::fromUtf8(
                                 QELSoundEffectMakeViewController::kNoSoundSettingsMessage)});

    // A microphone plugged in meanwhile: recording is possible again.
    permission = Permission::Granted;
    controller->viewDidAppear(false);
    EXPECT_TRUE(view().recordButton()->isEnabled());
}

TEST_F(MakerTest, PickerSpacesButtonsFortyApartOrTenFromTheEdges) {
    QELSoundEffectEditorPickView picker;
    picker.show();  // a hidden widget hears of its size when shown
    ASSERT_EQ(picker.uncleButton()->width(), 60) << "the pictures set the buttons' width";
    auto xs = [&] {
        std::vector<int> x;
        for (auto* b : picker.buttons()) x.push_back(b->x());
        return x;
    };
    picker.resize(320, 284);
    EXPECT_EQ(xs(), (std::vector<int>{10, 90, 170, 250}));
    const auto* b = picker.uncleButton();
    EXPECT_EQ(b->y() + b->height() / 2, 142);
    picker.resize(414, 300);
    EXPECT_EQ(xs(), (std::vector<int>{27, 127, 227, 327}));

    // The underline sits centred under the title, only when selected.
    QELSoundEffectEditButton* loli = picker.loliButton();
    loli->setSelected(true);
    EXPECT_TRUE(loli->bottomView()->isVisibleTo(loli));
    EXPECT_EQ(loli->bottomView()->geometry(),
              QRect(18, qRound(loli->titleRect().bottom() + 5), 24, 2));
    loli->setSelected(false);
    EXPECT_FALSE(loli->bottomView()->isVisibleTo(loli));
}

TEST_F(MakerTest, TheMakerLaysOutFromTheWindowsHeightEachTime) {
    open();
    record(2.5);  // the picker in the upper part
    QELSoundEffectMakerView& v = view();
    for (int height : {667, 480}) {
        SCOPED_TRACE(height);
        window->resize(375, height);
        uitest::drain();
        EXPECT_EQ(v.recordButton()->geometry().bottom() + 1, v.height() - 80);
        EXPECT_EQ(v.editPickView()->geometry(),
                  QRect(0, 0, v.width(), v.waveFormView()->height()));
        EXPECT_LE(v.waveFormView()->geometry().bottom() + 1 + 10, v.timeLabel()->y())
            << "the wave keeps clear of the time";
    }
    EXPECT_LT(v.waveFormView()->height(), 240) << "less than half of a short window";
    window->resize(375, 667);
    uitest::drain();
    EXPECT_EQ(v.waveFormView()->height(), 334) << "half the window when there is room";
}

}  // namespace
