// The sound-server path against a private PulseAudio server. Recordings are
// made by parecord, a client we did not write.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "audio/AudioEngine.h"
#include "audio/AudioRecorder.h"
#include "audio/AudioTestFiles.h"
#include "audio/PulseConnection.h"
#include "audio/VirtualDevices.h"
#include "support/PulseServer.h"

using platform::VirtualDevices;

namespace {

using testsupport::awaitRecorders;
using testsupport::findIn;
using testsupport::Recording;

constexpr int kRate = 44100;

// The amplitude of the `hz` component of `s` (Goertzel).
double toneAmplitude(const std::vector<float>& s, double hz) {
    const double w = 2 * M_PI * hz / kRate;
    double s1 = 0, s2 = 0;
    for (float x : s) {
        const double s0 = x + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2 * std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2) / s.size();
}

// An engine of the test's own, to start on the server once routed.
class SoundServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ready()) << "pulseaudio did not start";
        options.backend = platform::AudioEngineOptions::Backend::PulseAudio;
    }

    testsupport::TempDir dir;
    testsupport::PulseServer server;
    platform::RunLoop loop;
    platform::AudioEngine engine{loop};
    platform::AudioEngineOptions options;
    platform::AudioError error;
};

}  // namespace

TEST_F(SoundServerTest, TheVirtualMicrophoneAndTheMonitorHearWhatPlays) {
    VirtualDevices devices;
    ASSERT_TRUE(devices.create(&error)) << error.message;
    EXPECT_NE(server.pactl("list sinks").find("Quellio 音效"), std::string::npos);
    EXPECT_NE(server.pactl("list sources").find("Quellio 虚拟麦克风"), std::string::npos);
    const std::string defaults =
        server.pactl("get-default-sink") + server.pactl("get-default-source");
    EXPECT_EQ(defaults, "speakers\nspeakers.monitor\n");

    options.route.streamSink = VirtualDevices::kEffectsSink;
    options.route.monitor = true;
    options.route.monitorSink = "speakers";
    options.route.monitorVolume = 0.5f;
    // What is checked here is where the sound goes, not how soon: blocks
    // large enough that a busy test machine does not drop out.
    options.framesPerBuffer = 1024;
    ASSERT_TRUE(engine.start(options, &error)) << error.message;
    EXPECT_TRUE(engine.usesSoundServer());

    const std::string file =
        std::string(QUELLIO_SOURCE_RESOURCE_DIR) + "/SoundEffects/Alerts/buzzer.flac";
    const auto sound = engine.sound(file, &error);
    ASSERT_TRUE(sound) << error.message;
    // A fresh null sink sleeps through a long first period; a real one
    // runs already. (Ours the engine wakes itself.)
    server.pactl("suspend-sink speakers 1");
    server.pactl("suspend-sink speakers 0");
    Recording mic(VirtualDevices::kMicrophoneSource, dir.file("mic.raw"), 3 * kRate);
    Recording monitor("speakers.monitor", dir.file("monitor.raw"), 3 * kRate);
    awaitRecorders(2);
    bool ended = false;
    ASSERT_TRUE(engine.startVoice(
        sound, 0, 1.0f, [&](auto&, auto) { ended = true; }, &error))
        << error.message;
    ASSERT_TRUE(loop.runUntil([&] { return ended; }, std::chrono::seconds(10)));

    const auto reference = audiotest::soxSamples(file);  // mono, 44.1 kHz, as shipped
    const auto [onMic, micGain] = findIn(mic.samples(), reference);
    const auto [onMonitor, monitorGain] = findIn(monitor.samples(), reference);
    EXPECT_GT(onMic, 0.95);
    EXPECT_GT(onMonitor, 0.95);
    EXPECT_NEAR(micGain, 1.0, 0.1);
    EXPECT_NEAR(monitorGain, 0.5, 0.05);

    engine.stop();
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 2);
    devices.remove();
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 0);
    EXPECT_EQ(server.pactl("list sinks").find("quellio"), std::string::npos);
}

TEST_F(SoundServerTest, ARealMicrophoneIsMixedInOnlyWhileChosen) {
    VirtualDevices devices;
    ASSERT_TRUE(devices.create(&error)) << error.message;
    server.pactl("load-module module-sine-source source_name=realmic frequency=1000");
    auto level = [&] {
        Recording mic(VirtualDevices::kMicrophoneSource, dir.file("mic.raw"), kRate);
        auto s = mic.samples();
        // Before this the server may still deliver what it had buffered.
        s.erase(s.begin(), s.begin() + kRate * 3 / 4);
        return toneAmplitude(s, 1000);
    };
    EXPECT_LT(level(), 0.001);
    ASSERT_TRUE(devices.setMicrophone("realmic", 1.0f, &error)) << error.message;
    const double loud = level();
    EXPECT_GT(loud, 0.2);
    ASSERT_TRUE(devices.setMicrophone("realmic", 0.25f, &error)) << error.message;
    EXPECT_NEAR(level() / loud, 0.25, 0.02);
    ASSERT_TRUE(devices.setMicrophone("", 0, &error));
    EXPECT_LT(level(), 0.001);
    // Our own microphone mixed into itself would feed back.
    EXPECT_FALSE(devices.setMicrophone(VirtualDevices::kMicrophoneSource, 1.0f, &error));
    EXPECT_FALSE(devices.setMicrophone("no_such_mic", 1.0f, &error));
    EXPECT_NE(error.message.find("refused"), std::string::npos) << error.message;
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 2);
}

TEST_F(SoundServerTest, TheMakerRecordsFromTheChosenInput) {
    server.pactl("load-module module-sine-source source_name=realmic frequency=1000");
    server.pactl("set-default-source speakers.monitor");  // not the chosen one
    options.route.inputSource = "realmic";
    ASSERT_TRUE(engine.start(options, &error)) << error.message;
    const std::string take = dir.file("take.wav");
    auto recorder = platform::AudioRecorder::create(engine, take, {}, &error);
    ASSERT_TRUE(recorder) << error.message;
    ASSERT_TRUE(recorder->record());
    // A second of a real-time source: nothing posts to the loop meanwhile.
    for (int i = 0; i < 1000 && recorder->framesWritten() < kRate; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GE(recorder->framesWritten(), uint64_t(kRate));
    recorder->stop();
    engine.stop();
    auto samples = audiotest::soxSamples(take);
    ASSERT_GE(samples.size(), size_t(kRate));
    samples.erase(samples.begin(), samples.begin() + kRate / 2);
    EXPECT_GT(toneAmplitude(samples, 1000), 0.2);
    EXPECT_LT(toneAmplitude(samples, 440), 0.01);
}

// Another copy of the program runs: its pair is shared, not taken over.
// (A crashed run's leftovers going is ProgramTest's, with real processes.)
TEST_F(SoundServerTest, ALiveCopysPairIsShared) {
    std::string pid;  // of a process that outlives the shell that started it
    ASSERT_EQ(testsupport::run("sleep 600 >/dev/null 2>&1 & echo $!", &pid), 0);
    const pid_t running = std::stoi(pid);
    server.pactl(
        "load-module module-null-sink sink_name=quellio_effects "
        "\"sink_properties='quellio.owner=" +
        std::to_string(running) + "'\"");
    {
        VirtualDevices second;
        ASSERT_TRUE(second.create(&error)) << error.message;
        EXPECT_TRUE(second.exists());
        EXPECT_FALSE(second.ownsPair());
        EXPECT_FALSE(second.setMicrophone("speakers.monitor", 1.0f, &error));
        EXPECT_EQ(testsupport::PulseServer::ourModules(), 1);
    }
    EXPECT_EQ(testsupport::PulseServer::ourModules(), 1);
    ::kill(running, SIGKILL);
}

TEST(NoSoundServer, EveryEntryFailsQuicklyWithAClearMessage) {
    testsupport::TempDir empty;
    ::setenv("PULSE_RUNTIME_PATH", empty.path().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", empty.path().c_str(), 1);
    platform::AudioError error;
    VirtualDevices devices;
    EXPECT_FALSE(devices.create(&error));
    EXPECT_NE(error.message.find("no PulseAudio or PipeWire sound server"), std::string::npos)
        << error.message;
    EXPECT_FALSE(platform::PulseConnection::connect("test"));

    platform::RunLoop loop;
    platform::AudioEngine engine(loop);
    platform::AudioEngineOptions options;
    options.backend = platform::AudioEngineOptions::Backend::PulseAudio;
    error = {};
    EXPECT_FALSE(engine.start(options, &error));
    EXPECT_NE(error.message.find("sound server"), std::string::npos) << error.message;
    EXPECT_FALSE(engine.isRunning());
    ::unsetenv("PULSE_RUNTIME_PATH");
    ::unsetenv("XDG_RUNTIME_DIR");
}
