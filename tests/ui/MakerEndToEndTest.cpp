// The maker from the microphone to the collection: PortAudio captures from
// an ALSA device of the test's own (the file plugin reading a known tone),
// the take is rendered with a voice change and saved; sox reads the result.
#include <QInputMethodEvent>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/AudioTestFiles.h"
#include "core/maker/MakerTestSupport.h"
#include "foundation/RunLoop.h"
#include "ui/MakerTestSupport.h"

namespace fs = std::filesystem;
using namespace platform;
using State = QELSoundEffectMakeViewController::State;

namespace {

class MakerEndToEndTest : public uitest::UiTest {};

TEST_F(MakerEndToEndTest, RecordsFromTheDeviceRendersAVariantAndSavesIt) {
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

    // The shared engine stays on its null output; the take comes through
    // an engine of the test's own on the device.
    AudioEngine engine(RunLoop::main());
    AudioError error;
    ASSERT_TRUE(engine.start(AudioEngineOptions::portAudio(), &error)) << error.message;
    {
        makerui::MakerScreen s(engine, AudioSession(engine).recordPermission());
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
        makerui::MakerScreen::hold(2.5, 0.5);
        s.release();
        ASSERT_EQ(s.controller->state(), State::Recorded);
        const std::string take = s.viewModel->tmpRecordFilePath();
        const double takeSeconds = std::stod(makertest::soxi("-D", take));
        EXPECT_GE(takeSeconds, 2.0);
        ASSERT_LT(takeSeconds, kInputSeconds) << "the device ran out of tone";
        EXPECT_NEAR(makertest::toneFrequency(take), 1000, 5) << "the device's tone, unbroken";

        s.click(s.view().editPickView()->fastButton());
        ASSERT_TRUE(RunLoop::main().runUntil([&] {
            return s.viewModel->currentEditType() == QELSoundEffectEditType::Fast &&
                   s.view().saveButton()->isEnabled();
        }));

        s.click(s.view().saveButton());
        auto* save = s.controller->saveViewController();
        QInputMethodEvent typed;
        typed.setCommitString(QStringLiteral("快嘴"));
        QApplication::sendEvent(save->saveView()->textField(), &typed);
        s.click(save->saveView()->confirmButton());
        ASSERT_TRUE(
            RunLoop::main().runUntil([&] { return s.controller->state() == State::Ready; }));

        const std::string saved = s.dir.file("Custom/快嘴.caf");
        ASSERT_TRUE(fs::exists(saved));
        makertest::expectRenderedWav(saved);
        // Faster, at the same pitch, as loud as the tone.
        const double savedSeconds = std::stod(makertest::soxi("-D", saved));
        EXPECT_LT(savedSeconds, takeSeconds * 0.9);
        EXPECT_GT(savedSeconds, 0.5);
        EXPECT_NEAR(makertest::toneFrequency(saved), 1000, 20);
        std::string stat;
        ASSERT_EQ(testsupport::run("sox '" + saved + "' -n stat 2>&1", &stat), 0);
        const auto at = stat.find("RMS     amplitude:");
        ASSERT_NE(at, std::string::npos) << stat;
        EXPECT_GT(std::stod(stat.substr(at + 18)), 0.1) << stat;
        ASSERT_EQ(s.storage.soundEffects().size(), 1u);
        EXPECT_EQ(s.storage.soundEffects()[0]->name(), "快嘴");
    }
    engine.stop();
    uitest::drain();
}

}  // namespace
