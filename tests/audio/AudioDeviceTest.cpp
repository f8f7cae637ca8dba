// The real output path: PortAudio on an ALSA device that the test defines
// itself (the file plugin over a null sink), so no sound card is needed.
// ALSA reads ALSA_CONFIG_PATH when PortAudio first looks at devices, so the
// variable is set before any engine starts in this process.
#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/AudioDevices.h"
#include "audio/AudioPlayer.h"
#include "audio/AudioTestFiles.h"

namespace {

class AlsaFileDevice : public ::testing::Test {
protected:
    void SetUp() override {
        output = dir.file("out.raw");
        const std::string config =
            testsupport::writeAlsaFileDevice(dir, output, {},
                                             "pcm.quellio_virtual {\n    type null\n    "
                                             "hint.description \"Quellio virtual cable\"\n}\n");
        ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
    }

    testsupport::TempDir dir;
    std::string output;
};

}  // namespace

TEST_F(AlsaFileDevice, PlaysTheFilesSamplesOutOfTheDevice) {
    // Stereo, so a mixing or channel mistake cannot hide in identical channels.
    const std::string sound = dir.file("effect.flac");
    audiotest::makeTone(sound, 0.3, 44100, 2, 660, "-b 16");
    const auto expected = audiotest::soxSamples(sound);

    platform::RunLoop loop;
    platform::AudioEngine engine(loop);
    platform::AudioError error;
    ASSERT_TRUE(engine.start(platform::AudioEngineOptions::portAudio(), &error)) << error.message;
    EXPECT_EQ(engine.outputName(), "ALSA/default");

    auto player = platform::AudioPlayer::create(engine, sound, &error);
    ASSERT_TRUE(player) << error.message;
    struct Done : platform::AudioPlayerDelegate {
        bool finished = false;
        void audioPlayerDidFinishPlaying(platform::AudioPlayer&, bool ok) override {
            finished = ok;
        }
    };
    auto done = std::make_shared<Done>();
    player->setDelegate(done);
    ASSERT_TRUE(player->play());
    // Real time: the null sink is not paced, so this takes milliseconds.
    ASSERT_TRUE(loop.runUntil([&] { return done->finished; }, std::chrono::seconds(20)));
    engine.stop();

    // The device took float32 stereo; it may start with silence it was primed with.
    const auto out = testsupport::readFloats(output);
    size_t first = 0;
    while (first < out.size() && out[first] == 0.0f) ++first;
    ASSERT_LT(first, out.size()) << "nothing audible was written";
    first -= first % 2;                                          // a frame boundary
    if (expected[0] == 0.0f && expected[1] == 0.0f) first -= 2;  // the tone starts at zero
    ASSERT_GE(out.size() - first, expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_NEAR(out[first + i], expected[i], 1e-6) << "sample " << i;
    for (size_t i = first + expected.size(); i < out.size(); ++i)
        ASSERT_EQ(out[i], 0.0f) << "after the end " << i;
}

// The matching itself is AudioDeviceMatching's.
TEST_F(AlsaFileDevice, ChoosesADeviceByNameAndRefusesAnUnknownOne) {
    platform::AudioError error;
    platform::RunLoop loop;
    platform::AudioEngine engine(loop);
    platform::AudioEngineOptions options;
    options.outputDevice = "quellio_virtual";
    ASSERT_TRUE(engine.start(options, &error)) << error.message;
    EXPECT_EQ(engine.outputName(), "ALSA/quellio_virtual");

    options.outputDevice = "no such device";
    EXPECT_FALSE(engine.start(options, &error));
    EXPECT_EQ(error.code, platform::AudioError::Code::DeviceUnavailable);
    EXPECT_NE(error.message.find("no such device"), std::string::npos);
    EXPECT_FALSE(engine.isRunning());
}

TEST(AudioDeviceMatching, PrefersExactNamesThenTheDefaultHostApiAndReportsAmbiguity) {
    auto dev = [](int index, std::string api, std::string name, int out, bool def = false,
                  bool apiDef = false) {
        platform::AudioDeviceInfo d;
        d.index = index;
        d.hostApi = std::move(api);
        d.name = std::move(name);
        d.maxOutputChannels = out;
        d.isDefaultOutput = def;
        d.isHostApiDefaultOutput = apiDef;
        return d;
    };
    const std::vector<platform::AudioDeviceInfo> devices = {
        dev(0, "JACK Audio Connection Kit", "system", 2, false, true),
        dev(1, "ALSA", "system", 2),
        dev(2, "ALSA", "default", 2, true, true),
        dev(3, "ALSA", "Loopback: PCM (hw:1,0)", 2),
        dev(4, "ALSA", "Loopback: PCM (hw:1,1)", 2),
        dev(5, "ALSA", "USB Mic", 0),
    };
    platform::AudioError error;
    EXPECT_EQ(platform::matchOutputDevice(devices, "system")->index, 1);  // the default's host API
    EXPECT_EQ(platform::matchOutputDevice(devices, "JACK Audio Connection Kit/system")->index, 0);
    EXPECT_EQ(platform::matchOutputDevice(devices, "JACK Audio Connection Kit")->index, 0);
    EXPECT_EQ(platform::matchOutputDevice(devices, "hw:1,1")->index, 4);
    EXPECT_EQ(platform::matchOutputDevice(devices, "alsa/loopback: pcm (hw:1,1")->index, 4);
    EXPECT_FALSE(platform::matchOutputDevice(devices, "loopback", &error));
    EXPECT_NE(error.message.find("ALSA/Loopback: PCM (hw:1,0)"), std::string::npos);
    EXPECT_FALSE(platform::matchOutputDevice(devices, "USB Mic", &error));  // input only
    EXPECT_FALSE(platform::matchOutputDevice(devices, "", &error));
}
