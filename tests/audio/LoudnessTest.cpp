// Loudness measured and normalised by our meter, checked against ffmpeg's
// ebur128 filter, a meter we did not write, on sounds sox makes.

#include "audio/Loudness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "audio/AudioTestFiles.h"

namespace {

using platform::PcmBuffer;

using Reference = audiotest::FfmpegLoudness;

// ffmpeg's reading of `pcm`; `pad` as for ffmpegLoudness.
Reference ffmpegMeter(const PcmBuffer& pcm, bool pad = false) {
    testsupport::TempDir dir;
    const std::string raw = dir.file("pcm.f32");
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.samples.data()),
               static_cast<std::streamsize>(pcm.samples.size() * sizeof(float)));
    return audiotest::ffmpegLoudness(raw,
                                     "-f f32le -ar " + std::to_string(std::lround(pcm.sampleRate)) +
                                         " -ac " + std::to_string(pcm.channels),
                                     pad);
}

// A stereo 48-kHz sound sox makes from `input` (silence by default) and
// `effects`.
PcmBuffer soxSound(const testsupport::TempDir& dir, const std::string& name,
                   const std::string& effects, const std::string& input = "-n") {
    const std::string path = dir.file(name + ".wav");
    std::string out;
    EXPECT_EQ(testsupport::run("sox -R " + input + " -r 48000 -c 2 -b 24 '" + path + "' " + effects +
                                   " 2>&1",
                               &out),
              0)
        << out;
    auto pcm = platform::decodeAudioFile(path, 48000);
    EXPECT_TRUE(pcm);
    return pcm ? *pcm : PcmBuffer{};
}

}  // namespace

// A plain tone, loud noise to bring down, a quiet fade whose soft tail a
// gain lifts over the absolute gate (so the loudness moves by less than the
// gain), and sharp clicks over a quiet bed whose peaks must be limited to
// reach the target.
TEST(Loudness, MeasuresAndNormalisesAsAnIndependentMeterReadsIt) {
    testsupport::TempDir dir;
    struct Case {
        const char* name;
        std::string effects;
        std::string input;
        double target;
        // How far the plain gain lands from the target, in LU; negative:
        // held back by the ceiling, at least this far under.
        double gainError;
        // Meters oversample differently; on near-full-scale noise their
        // inter-sample peaks differ by more than on a tone or a click.
        double peakTolerance = 0.3;
    };
    const Case cases[] = {
        {"tone", "synth 5 sine 997 vol 0.05", "-n", -16, 0.1},
        {"noise", "synth 5 pinknoise vol 0.9", "-n", -23, 0.1, 1.0},
        {"quiet fade", "synth 4 sine 997 vol 0.003 fade l 0 4 3.9", "-n", -16, 1.5},
        {"clicks", "",
         "-m -v 1 '|sox -R -n -r 48000 -c 2 -p synth 5 pinknoise vol 0.05' -v 1 '|sox -n -r 48000 "
         "-c 2 -p synth 0.001 square 1500 vol 0.5 pad 0 0.499 repeat 9'",
         -16, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PcmBuffer pcm = soxSound(dir, c.name, c.effects, c.input);
        const platform::LoudnessMeasure m = platform::measureLoudness(pcm);
        const Reference ref = ffmpegMeter(pcm);
        ASSERT_TRUE(m.measurable);
        EXPECT_TRUE(m.integrated);
        EXPECT_NEAR(m.loudness, ref.integrated, 0.2);
        EXPECT_NEAR(m.truePeak, ref.truePeak, c.peakTolerance);

        PcmBuffer played = pcm;
        for (float& s : played.samples) s *= static_cast<float>(platform::loudnessGain(m, c.target));
        const platform::LoudnessMeasure p = platform::measureLoudness(played);
        EXPECT_LE(p.truePeak, platform::kTruePeakCeiling + 0.01);
        if (c.gainError > 0) EXPECT_NEAR(p.loudness, c.target, c.gainError);
        else EXPECT_LT(p.loudness, c.target + c.gainError);

        EXPECT_NEAR(platform::normaliseLoudness(pcm, c.target).loudness, m.loudness, 1e-9);
        const Reference after = ffmpegMeter(pcm);
        EXPECT_NEAR(after.integrated, c.target, 0.5);
        EXPECT_LE(after.truePeak, platform::kTruePeakCeiling);
    }
}

TEST(Loudness, ASoundTooShortForAnIntegratedValueUsesItsLoudestMoment) {
    testsupport::TempDir dir;
    PcmBuffer pcm = soxSound(dir, "blip", "synth 0.25 sine 880 vol 0.02");
    const platform::LoudnessMeasure m = platform::measureLoudness(pcm);
    EXPECT_TRUE(m.measurable);
    EXPECT_FALSE(m.integrated);
    EXPECT_NEAR(m.loudness, ffmpegMeter(pcm, true).maxMomentary, 0.2);

    platform::normaliseLoudness(pcm, -16);
    const Reference after = ffmpegMeter(pcm, true);
    EXPECT_NEAR(after.maxMomentary, -16, 0.5);
    EXPECT_LE(after.truePeak, platform::kTruePeakCeiling);
}

TEST(Loudness, SilenceIsNeitherMeasuredNorChanged) {
    testsupport::TempDir dir;
    for (PcmBuffer pcm : {soxSound(dir, "silence", "trim 0 2"), PcmBuffer{48000, 2, {}}}) {
        const std::vector<float> before = pcm.samples;
        EXPECT_FALSE(platform::measureLoudness(pcm).measurable);
        EXPECT_FALSE(platform::normaliseLoudness(pcm, -16).measurable);
        EXPECT_EQ(platform::loudnessGain(platform::measureLoudness(pcm), -16), 1.0);
        EXPECT_EQ(platform::trimSilence(pcm), 0u);
        EXPECT_EQ(pcm.samples, before);
    }
}

// Sound in one channel only still counts; a short margin stays on each side.
TEST(Loudness, TrimKeepsTheSoundAndAShortMargin) {
    testsupport::TempDir dir;
    PcmBuffer pcm = soxSound(dir, "padded", "synth 1 sine 440 vol 0.5 remix 0 1 pad 0.5 0.8");
    const size_t frames = pcm.frames();
    const size_t removed = platform::trimSilence(pcm);
    EXPECT_EQ(frames - removed, pcm.frames());
    EXPECT_GE(pcm.duration(), 1.0);
    EXPECT_LE(pcm.duration(), 1.0 + 2 * 0.03);
    const auto firstLoud = std::find_if(pcm.samples.begin(), pcm.samples.end(),
                                        [](float s) { return std::fabs(s) > 0.01f; });
    EXPECT_GT(firstLoud - pcm.samples.begin(), 2 * 48 * 2);  // a few ms kept before it
}
