// The maker screen in a window of its own, recording through an engine of
// the test's choosing into a temporary Library: a null one whose
// microphone hears a tone, or PortAudio on an ALSA device of the test's
// own (the file plugin reading a known tone).
#include <QInputMethodEvent>
#include <QTest>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "audio/AudioEngine.h"
#include "audio/AudioTestFiles.h"
#include "audio/NullAudioBackend.h"
#include "core/maker/MakerTestSupport.h"
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

class MakerScreen {
public:
    using Permission = platform::AudioSession::RecordPermission;

    MakerScreen(platform::AudioEngine& engine, Permission permission,
                QELSoundEffectEditor::Executor renders = {})
        : storage(dir.file("Customcollection.info")), permission(permission) {
        viewModel =
            std::make_shared<QELSoundEffectMakeViewModel>(QELSoundEffectMakeViewModel::Environment{
                dir.file("record"), dir.file("Custom"), &storage, &engine, std::move(renders)});
        controller = std::make_shared<QELSoundEffectMakeViewController>(viewModel);
        controller->setRecordPermissionSource([this] { return this->permission; });
        controller->setSettingsOpener([this] {
            ++settingsOpened;
            return true;
        });
        window = uitest::showInWindow(createNavigationController(controller), {320, 568});
    }

    ~MakerScreen() {
        window.reset();
        controller.reset();
        viewModel.reset();
        uitest::drain();
    }

    QELSoundEffectMakerView& view() const { return *controller->makerView(); }
    std::string recordDir() const { return dir.file("record"); }

    void press() { QTest::mousePress(view().recordButton(), Qt::LeftButton, {}, centre()); }
    void release(bool inside = true) {
        QTest::mouseRelease(view().recordButton(), Qt::LeftButton, {},
                            inside ? centre() : QPoint(-30, -30));
        uitest::drain();
    }
    // Time passing in display frames while the button is held.
    static void hold(double seconds, double step = kStep) {
        const int steps = static_cast<int>(seconds / step + 0.5);
        for (int i = 0; i < steps; ++i) uitest::advance(step);
    }
    void record(double seconds) {
        press();
        hold(seconds);
        release();
    }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    QString time() const { return view().timeLabel()->text(); }

    static constexpr double kStep = 0.05;
    testsupport::TempDir dir;
    QELMySoundEffectStorage storage;
    Permission permission;
    int settingsOpened = 0;
    std::shared_ptr<QELSoundEffectMakeViewModel> viewModel;
    std::shared_ptr<QELSoundEffectMakeViewController> controller;
    std::unique_ptr<platform::Window> window;

private:
    QPoint centre() const { return view().recordButton()->rect().center(); }
};

// The maker on a null engine whose microphone hears a 1 kHz tone.
class MakerTest : public uitest::UiTest {
protected:
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
        screen.reset();
        engine.stop();
        UiTest::TearDown();
    }
    MakerScreen& open(MakerScreen::Permission p = MakerScreen::Permission::Granted,
                      QELSoundEffectEditor::Executor renders = {}) {
        screen = std::make_unique<MakerScreen>(engine, p, std::move(renders));
        return *screen;
    }
    // Until the variant `type` is current and the screen takes taps again.
    bool rendered(Type type) {
        return RunLoop::main().runUntil([&] {
            return screen->viewModel->currentEditType() == type &&
                   screen->view().saveButton()->isEnabled();
        });
    }
    size_t count(const std::string& entry) {
        return static_cast<size_t>(std::count(sink->log.begin(), sink->log.end(), entry));
    }

    AudioEngine engine{RunLoop::main()};
    std::unique_ptr<MakerScreen> screen;
};

TEST_F(MakerTest, AHoldUnderTheLowerBoundIsRefusedAndOneOverItIsKept) {
    MakerScreen& s = open();
    QELSoundEffectMakerView& v = s.view();
    EXPECT_FALSE(v.discardButton()->isEnabled() || v.saveButton()->isEnabled());
    uitest::AlertTitles alerts;
    s.press();
    EXPECT_TRUE(s.controller->hasDisplayLink() && s.controller->hasTimer());
    MakerScreen::hold(1.9);
    EXPECT_EQ(s.time(), "01 s");
    EXPECT_GT(v.waveFormView()->amplitude, 0.3) << "the wave follows the tone's level";
    s.release();
    EXPECT_EQ(alerts.titles, QStringList{"录制时间为 2s 以上"});
    EXPECT_EQ(s.controller->state(), State::Ready);
    EXPECT_EQ(s.time(), "00 s");
    EXPECT_FALSE(s.controller->hasDisplayLink() || s.controller->hasTimer());
    EXPECT_TRUE(fs::is_empty(s.recordDir())) << "the short take is thrown away";

    // Sliding off the button before letting go ends the take the same way.
    s.press();
    MakerScreen::hold(2.5);
    s.release(false);
    EXPECT_EQ(s.controller->state(), State::Recorded);
    EXPECT_FALSE(v.recordButton()->isEnabled());
    EXPECT_EQ(v.recordButton()->currentBackgroundImage().cacheKey(),
              v.recordButton()->backgroundImage(ControlState::Disabled).cacheKey());
    EXPECT_TRUE(v.discardButton()->isEnabled() && v.saveButton()->isEnabled());
    EXPECT_EQ(alpha(v.waveFormView()), 0.0);
    EXPECT_EQ(alpha(v.editPickView()), 1.0);
    EXPECT_EQ(s.time(), "02 s");
    EXPECT_EQ(count("event:record_sound"), 2u) << "inside and outside releases both count";

    s.click(v.discardButton());
    EXPECT_EQ(s.controller->state(), State::Ready);
    EXPECT_TRUE(fs::is_empty(s.recordDir()));
    EXPECT_EQ(alpha(v.editPickView()), 0.0);

    // A lower bound of five changes the check and the message.
    struct Restore {
        ~Restore() { QELSoundEffectMakeViewController::setRecordSecondLimitLowerBound(2); }
    } restore;
    QELSoundEffectMakeViewController::setRecordSecondLimitLowerBound(5);
    s.record(4.5);
    EXPECT_EQ(alerts.titles.back(), "录制时间为 5s 以上");
    EXPECT_EQ(s.controller->state(), State::Ready);
    s.record(5.2);
    EXPECT_EQ(s.controller->state(), State::Recorded);
}

// Renders held back by the test: Slow is picked, then Loli before Slow has
// rendered, and Slow ends last.
TEST_F(MakerTest, TheLastVoicePickedIsHighlightedAndHeardAndSaveWaitsForEveryRender) {
    std::vector<platform::Task> held;
    MakerScreen& s = open(MakerScreen::Permission::Granted,
                          [&](platform::Task task) { held.push_back(std::move(task)); });
    s.record(2.5);
    QELSoundEffectEditorPickView* picker = s.view().editPickView();
    s.click(picker->slowButton());
    s.click(picker->loliButton());
    ASSERT_EQ(held.size(), 2u);
    EXPECT_FALSE(s.view().saveButton()->isEnabled() || s.view().discardButton()->isEnabled());
    held[1]();
    uitest::drain();
    EXPECT_EQ(s.viewModel->currentPlayingType(), Type::Loli);
    EXPECT_FALSE(s.view().saveButton()->isEnabled()) << "Slow still renders";
    held[0]();
    uitest::drain();
    for (auto* b : picker->buttons()) EXPECT_EQ(b->isSelected(), b == picker->loliButton());
    EXPECT_TRUE(picker->loliButton()->bottomView()->isVisible());
    EXPECT_EQ(s.viewModel->currentEditType(), Type::Loli);
    EXPECT_EQ(s.viewModel->currentPlayingType(), Type::Loli);
    EXPECT_TRUE(s.view().saveButton()->isEnabled());

    // A rendered voice answers at once.
    s.click(picker->slowButton());
    EXPECT_EQ(held.size(), 2u);
    EXPECT_EQ(s.viewModel->currentEditType(), Type::Slow);
    EXPECT_EQ(s.viewModel->currentPlayingType(), Type::Slow);
    EXPECT_TRUE(picker->slowButton()->isSelected());
    EXPECT_FALSE(picker->loliButton()->bottomView()->isVisible());
    EXPECT_EQ(count("event:click_sound_effect"), 3u);
}

// A take that cannot be read renders nothing, and the screen must not wait
// for it with discard and save held off.
TEST_F(MakerTest, AnUnreadableTakeLeavesDiscardAndSaveUsable) {
    MakerScreen& s = open();
    s.record(2.5);
    testsupport::writeText(s.viewModel->tmpRecordFilePath(), "not audio");
    auto quiet = platform::setDebugErrorSink([](const platform::DebugErrorEntry&) {});
    s.click(s.view().editPickView()->uncleButton());
    const bool settled =
        RunLoop::main().runUntil([&] { return s.view().discardButton()->isEnabled(); });
    platform::setDebugErrorSink(quiet);
    ASSERT_TRUE(settled);
    EXPECT_TRUE(s.view().saveButton()->isEnabled());
    s.click(s.view().discardButton());
    EXPECT_EQ(s.controller->state(), State::Ready);
}

TEST_F(MakerTest, AConfirmedSaveCollectsTheTypedNameAndReturnsToReady) {
    MakerScreen& s = open();
    s.record(2.5);
    s.click(s.view().editPickView()->slowButton());
    ASSERT_TRUE(rendered(Type::Slow));
    s.click(s.view().saveButton());
    EXPECT_EQ(count("event:makeSound"), 1u);
    QELSoundEffectSaveViewController* save = s.controller->saveViewController();
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
    s.click(save->saveView()->confirmButton());
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return s.controller->state() == State::Ready; }));
    EXPECT_FALSE(popoverState(*save).popoverWindow);
    ASSERT_EQ(s.storage.soundEffects().size(), 1u);
    EXPECT_EQ(s.storage.soundEffects()[0]->name(), "低沉 的我");
    EXPECT_TRUE(fs::is_empty(s.recordDir()));
    EXPECT_EQ(s.time(), "00 s");
    for (auto* b : s.view().editPickView()->buttons()) EXPECT_FALSE(b->isSelected());
    EXPECT_EQ(alpha(s.view().waveFormView()), 1.0);
}

TEST_F(MakerTest, ANameInUseIsReplacedOnlyWhenTheUserSaysSo) {
    MakerScreen& s = open();
    testsupport::writeText(s.dir.file("Custom/开场.caf"), "the recording there was");
    s.storage.addSoundEffect(QELSoundEffect::customSoundEffectWithName("开场", "/开场.caf"));
    s.record(2.5);
    s.click(s.view().saveButton());
    auto* save = s.controller->saveViewController();
    save->saveView()->textField()->setText("开场");

    QTest::keyClick(save->saveView()->textField(), Qt::Key_Return);
    ASSERT_TRUE(save->replaceAlert());
    EXPECT_EQ(save->replaceAlert()->text(), "已有同名音效");
    EXPECT_EQ(save->replaceAlert()->buttonTitleAtIndex(1), "替换");
    QTest::keyClick(save->replaceAlert(), Qt::Key_Escape);  // as 取消
    uitest::drain();
    EXPECT_FALSE(save->replaceAlert());
    EXPECT_FALSE(save->isSaving());
    EXPECT_EQ(fs::file_size(s.dir.file("Custom/开场.caf")), 23u) << "the old one is kept";

    s.click(save->saveView()->confirmButton());
    ASSERT_TRUE(save->replaceAlert());
    save->replaceAlert()->dismissWithClickedButtonIndex(1);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return s.controller->state() == State::Ready; }));
    EXPECT_GT(fs::file_size(s.dir.file("Custom/开场.caf")), 1000u) << "the new take";
}

TEST_F(MakerTest, EmptyRefusedAndCancelledNamesKeepTheTake) {
    MakerScreen& s = open();
    s.record(2.5);
    s.click(s.view().editPickView()->fastButton());
    ASSERT_TRUE(rendered(Type::Fast));
    s.click(s.view().saveButton());
    auto* save = s.controller->saveViewController();
    QELSoundEffectSaveView* card = save->saveView();
    auto confirm = [&](const QString& name) {
        card->textField()->setText(name);
        s.click(card->confirmButton());
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
    s.click(card->textField()->clearButton());
    EXPECT_EQ(card->textField()->text(), "");
    EXPECT_TRUE(popoverState(*save).popoverWindow);

    card->textField()->setText("留着");
    QTest::keyClick(card->textField(), Qt::Key_Escape);  // as 取消
    uitest::drain();
    EXPECT_FALSE(popoverState(*save).popoverWindow);
    EXPECT_EQ(s.controller->state(), State::Recorded);
    EXPECT_TRUE(s.view().editPickView()->fastButton()->isSelected());
    EXPECT_TRUE(s.storage.soundEffects().empty());
    EXPECT_TRUE(fs::exists(s.viewModel->variantFilePath(Type::Fast)));
}

TEST_F(MakerTest, TheMicrophoneQuestionComesAtMostOnceInTwoHours) {
    MakerScreen& s = open(MakerScreen::Permission::Denied);
    EXPECT_FALSE(s.view().recordButton()->isEnabled());
    AlertView* alert = s.controller->microPhoneAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), "没有找到麦克风");
    EXPECT_EQ(alert->buttonTitleAtIndex(1), "设置");
    alert->dismissWithClickedButtonIndex(0);
    uitest::drain();
    EXPECT_EQ(s.settingsOpened, 0);

    uitest::advance(7199);
    s.controller->viewDidAppear(false);
    EXPECT_FALSE(s.controller->microPhoneAlert());
    uitest::advance(1);
    s.controller->viewDidAppear(false);
    ASSERT_TRUE(s.controller->microPhoneAlert());
    s.controller->microPhoneAlert()->dismissWithClickedButtonIndex(1);
    EXPECT_EQ(s.settingsOpened, 1);

    // Nothing to open: said, not silently ignored.
    uitest::AlertTitles alerts;
    s.controller->setSettingsOpener([] { return false; });
    s.controller->alertViewDidDismissWithButtonIndex(1);
    uitest::drain();
    EXPECT_EQ(alerts.titles, QStringList{QString::fromUtf8(
                                 QELSoundEffectMakeViewController::kNoSoundSettingsMessage)});

    // A microphone plugged in meanwhile: recording is possible again.
    s.permission = MakerScreen::Permission::Granted;
    s.controller->viewDidAppear(false);
    EXPECT_TRUE(s.view().recordButton()->isEnabled());
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
    MakerScreen& s = open();
    s.record(2.5);  // the picker in the upper part
    QELSoundEffectMakerView& v = s.view();
    for (int height : {667, 480}) {
        SCOPED_TRACE(height);
        s.window->resize(375, height);
        uitest::drain();
        EXPECT_EQ(v.recordButton()->geometry().bottom() + 1, v.height() - 80);
        EXPECT_EQ(v.editPickView()->geometry(),
                  QRect(0, 0, v.width(), v.waveFormView()->height()));
        EXPECT_LE(v.waveFormView()->geometry().bottom() + 1 + 10, v.timeLabel()->y())
            << "the wave keeps clear of the time";
    }
    EXPECT_LT(v.waveFormView()->height(), 240) << "less than half of a short window";
    s.window->resize(375, 667);
    uitest::drain();
    EXPECT_EQ(v.waveFormView()->height(), 334) << "half the window when there is room";
}

TEST_F(MakerTest, RecordsARealDevicesInputWhileTheButtonIsHeld) {
    // Unpaced, the device runs far ahead of the held button: plenty of tone.
    constexpr double kInputSeconds = 60;
    testsupport::TempDir alsa;
    const std::string input = alsa.file("in.raw");
    audiotest::makeTone(input, kInputSeconds, 44100, 1, 1000, "-t f32 -e floating-point");
    const std::string config = testsupport::writeAlsaFileDevice(alsa, alsa.file("out.raw"), input);
    struct RestoreAlsa {
        ~RestoreAlsa() { ::unsetenv("ALSA_CONFIG_PATH"); }
    } restoreAlsa;
    ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);

    AudioEngine device(RunLoop::main());
    AudioError error;
    ASSERT_TRUE(device.start(AudioEngineOptions::portAudio(), &error)) << error.message;
    {
        MakerScreen s(device, AudioSession(device).recordPermission());
        ASSERT_TRUE(s.view().recordButton()->isEnabled()) << "the device has an input";

        s.press();
        ASSERT_EQ(s.controller->state(), State::Recording);
        // The file plugin is not paced: two seconds of the tone arrive at
        // once. The writer posts nothing to the main loop, so spin on it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (s.viewModel->recorder()->framesWritten() < 2 * 44100) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::yield();
        }
        // Few frames of held time, so the device does not run out of tone.
        MakerScreen::hold(2.5, 0.5);
        s.release();
        ASSERT_EQ(s.controller->state(), State::Recorded);
        const std::string take = s.viewModel->tmpRecordFilePath();
        const double takeSeconds = std::stod(makertest::soxi("-D", take));
        EXPECT_GE(takeSeconds, 2.0);
        ASSERT_LT(takeSeconds, kInputSeconds) << "the device ran out of tone";
        EXPECT_NEAR(makertest::toneFrequency(take), 1000, 5) << "the device's tone, unbroken";
    }
    device.stop();
    uitest::drain();
}

}  // namespace
