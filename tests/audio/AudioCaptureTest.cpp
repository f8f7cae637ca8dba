// The real input path: PortAudio capturing from an ALSA device that the
// test defines (the file plugin reading a known file as the microphone).
#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/AudioRecorder.h"
#include "audio/AudioSession.h"
#include "audio/AudioTestFiles.h"

TEST(AlsaFileCapture, RecordsTheDevicesInputIntoA16BitWav) {
    testsupport::TempDir dir;
    // Raw float32 mono at 44.1 kHz, as the stream asks the device for it.
    const std::string input = dir.file("in.raw");
    audiotest::makeTone(input, 3.0, 44100, 1, 1000, "-t f32 -e floating-point");
    const std::string config = testsupport::writeAlsaFileDevice(dir, dir.file("out.raw"), input);
    ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);

    platform::RunLoop loop;
    platform::AudioEngine engine(loop);
    platform::AudioError error;
    ASSERT_TRUE(engine.start(platform::AudioEngineOptions::portAudio(), &error)) << error.message;
    EXPECT_EQ(platform::AudioSession(engine).recordPermission(),
              platform::AudioSession::RecordPermission::Granted);

    const std::string take = dir.file("tmp_record.wav");
    auto recorder = platform::AudioRecorder::create(engine, take, {}, &error);
    ASSERT_TRUE(recorder) << error.message;
    recorder->setMeteringEnabled(true);
    ASSERT_TRUE(recorder->record());
    // The file plugin is not paced: a second of input arrives at once.
    ASSERT_TRUE(loop.runUntil([&] { return recorder->framesWritten() >= 44100; },
                              std::chrono::seconds(20)));
    recorder->updateMeters();
    recorder->stop();
    engine.stop();
    EXPECT_NEAR(recorder->averagePowerForChannel(0), -9.03f, 1.0f);  // a 0.5 sine

    // The microphone's samples, in order, from its first; 16-bit rounding
    // is all that differs.
    const std::string reference = dir.file("ref.wav");
    audiotest::makeTone(reference, 3.0, 44100, 1, 1000, "-b 16");
    const auto got = audiotest::soxSamples(take);
    const auto want = audiotest::soxSamples(reference);
    ASSERT_GE(got.size(), 44100u);
    for (size_t i = 0; i < 44100; ++i) ASSERT_NEAR(got[i], want[i], 1.0 / 16384) << "sample " << i;
}
