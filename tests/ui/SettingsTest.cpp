// The settings screen over a private PulseAudio server: choices reach the
// server and the defaults, the lists follow devices that come and go, and
// an output that goes falls back with a message.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QWheelEvent>

#include "core/settings/QELAudioRouting.h"
#include "support/PulseServer.h"
#include "ui/UiTest.h"
#include "ui/platform/NavigationController.h"
#include "ui/settings/QELSettingsViewController.h"

using namespace platform;

namespace {

class SettingsTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_TRUE(server.ready());
        ::unsetenv("QUELLIO_AUDIO_BACKEND");
        routing.setNoticeHandler([this](const std::string& m) { notices.push_back(m); });
        routing.start();
        screen = std::make_shared<QELSettingsViewController>(routing);
        nav = std::make_shared<NavigationController>(screen);
        window = uitest::showInWindow(nav);
    }
    void TearDown() override {
        window.reset();
        nav.reset();
        screen.reset();
        routing.stop();
        ::setenv("QUELLIO_AUDIO_BACKEND", "null", 1);
        UiTest::TearDown();
    }
    // Waits for the server's news to reach the main loop.
    bool await(const std::function<bool()>& done) {
        return RunLoop::main().runUntil(done, std::chrono::seconds(10));
    }
    static QStringList items(QComboBox* box) {
        QStringList list;
        for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
        return list;
    }

    testsupport::TempDir dir;
    testsupport::PulseServer server;
    UserDefaults defaults{dir.file("defaults.plist")};
    QELAudioSettings settings{defaults};
    AudioEngine engine{RunLoop::main()};
    QELAudioRouting routing{settings, engine};
    std::vector<std::string> notices;
    std::shared_ptr<QELSettingsViewController> screen;
    std::shared_ptr<NavigationController> nav;
    std::unique_ptr<Window> window;
};

}  // namespace

TEST_F(SettingsTest, ChoicesTakeEffectAndTheListsFollowTheServer) {
    EXPECT_TRUE(screen->routingSwitch()->isEnabled());
    EXPECT_FALSE(screen->microphoneBox()->isEnabled());

    screen->routingSwitch()->setChecked(true);
    EXPECT_TRUE(settings.routingEnabled());
    EXPECT_TRUE(routing.virtualMicrophoneActive());
    // Our own devices are not offered as outputs or microphones to mix in.
    EXPECT_EQ(items(screen->monitorOutputBox()), (QStringList{"无", "Null Output"}));
    EXPECT_TRUE(screen->microphoneBox()->isEnabled());
    EXPECT_FALSE(screen->streamOutputBox()->isEnabled());

    // A headset is plugged in: it appears without reopening the screen.
    server.pactl(
        "load-module module-null-sink sink_name=headset "
        "sink_properties=device.description=Headset");
    ASSERT_TRUE(await([&] { return items(screen->monitorOutputBox()).contains("Headset"); }));
    screen->monitorOutputBox()->setCurrentIndex(screen->monitorOutputBox()->findText("Headset"));
    EXPECT_EQ(settings.monitorOutput(), "headset");
    EXPECT_NE(engine.outputName().find("+ headset"), std::string::npos) << engine.outputName();
    screen->monitorVolumeSlider()->setValue(40);
    EXPECT_FLOAT_EQ(settings.monitorVolume(), 0.4f);
    // The effects' own volume is kept and reaches the engine at once.
    EXPECT_EQ(screen->effectsVolumeSlider()->value(), 100);
    screen->effectsVolumeSlider()->setValue(25);
    EXPECT_FLOAT_EQ(settings.effectsVolume(), 0.25f);
    EXPECT_FLOAT_EQ(engine.effectsVolume(), 0.25f);
    // Loudness: on at -16 unless changed, the target only while it is on.
    EXPECT_TRUE(screen->loudnessSwitch()->isChecked());
    EXPECT_EQ(screen->loudnessTargetBox()->value(), -16);
    screen->loudnessTargetBox()->setValue(-30);
    EXPECT_EQ(settings.loudnessTarget(), -23);
    screen->loudnessSwitch()->setChecked(false);
    EXPECT_FALSE(settings.normaliseLoudness());
    EXPECT_FALSE(screen->loudnessTargetBox()->isEnabled());

    // ...and pulled out: the monitor falls back to the default and says so.
    testsupport::run(
        "pactl unload-module $(pactl list short modules | grep sink_name=headset | cut -f1)");
    ASSERT_TRUE(await([&] { return !notices.empty(); }));
    EXPECT_NE(notices.back().find("监听输出已断开"), std::string::npos) << notices.back();
    EXPECT_EQ(settings.monitorOutput(), "headset") << "the choice is kept for its return";

    screen->routingSwitch()->setChecked(false);
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 0);
}

TEST_F(SettingsTest, AfterTheServerRestartsTheVirtualMicrophoneComesBack) {
    screen->routingSwitch()->setChecked(true);
    ASSERT_TRUE(routing.virtualMicrophoneActive());
    server.stop(SIGKILL);
    ASSERT_TRUE(await([&] { return !routing.hasSoundServer(); }));
    EXPECT_FALSE(routing.virtualMicrophoneActive());
    server.start();
    ASSERT_TRUE(server.ready());
    // The next attempt is due half a second later.
    uitest::advance(0.6);
    ASSERT_TRUE(await([&] { return routing.virtualMicrophoneActive(); }));
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 2);
    EXPECT_TRUE(engine.usesSoundServer());
    EXPECT_NE(notices.back().find("声音服务已恢复"), std::string::npos) << notices.back();
}

// A wheel turned over a control while scrolling the page scrolls the page;
// only a control the user has clicked into takes the turn.
TEST_F(SettingsTest, TheWheelScrollsThePageUntilAControlIsChosen) {
    auto turn = [](QWidget* control) {
        const QPointF at(control->rect().center());
        QWheelEvent wheel(at, control->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(control, &wheel);
    };
    window->resize(320, 480);  // the smallest window: the page scrolls
    uitest::drain();
    QScrollBar* page = screen->view()->findChild<QScrollArea*>()->verticalScrollBar();
    ASSERT_GT(page->maximum(), 0);
    QSlider* volume = screen->effectsVolumeSlider();
    QComboBox* output = screen->streamOutputBox();
    output->addItem(QStringLiteral("Desk"), QStringLiteral("desk"));
    for (QWidget* control :
         std::initializer_list<QWidget*>{volume, output, screen->loudnessTargetBox()})
        turn(control);
    EXPECT_EQ(volume->value(), 100);
    EXPECT_EQ(output->currentIndex(), 0);
    EXPECT_EQ(screen->loudnessTargetBox()->value(), -16);
    EXPECT_GT(page->value(), 0);

    window->activateWindow();
    volume->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(volume->hasFocus());
    turn(volume);
    EXPECT_LT(volume->value(), 100);
}
