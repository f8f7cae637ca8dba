#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>

#include "audio/AudioFile.h"
#include "audio/AudioTestFiles.h"
#include "audio/SoundCache.h"

using platform::AudioError;
using platform::decodeAudioFile;

TEST(AudioFile, DecodesWavFlacOggAndCafAsSoxDoes) {
    testsupport::TempDir dir;
    for (const char* name : {"tone.wav", "tone.flac", "tone.ogg", "tone.caf"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        audiotest::makeTone(path, 0.25);
        AudioError error;
        auto pcm = decodeAudioFile(path, 44100, &error);
        ASSERT_TRUE(pcm) << error.message;
        EXPECT_EQ(pcm->channels, 1);
        const auto expected = audiotest::soxSamples(path);
        ASSERT_EQ(pcm->samples.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_NEAR(pcm->samples[i], expected[i], 1e-4) << i;
    }
}

namespace {

// Periods of the first channel; the hysteresis ignores noise near zero.
int periods(const platform::PcmBuffer& pcm) {
    int count = 0;
    bool low = false;
    for (size_t f = 0; f < pcm.frames(); ++f) {
        const float v = pcm.samples[f * static_cast<size_t>(pcm.channels)];
        if (v < -0.1f) low = true;
        if (low && v > 0.1f) {
            ++count;
            low = false;
        }
    }
    return count;
}

}  // namespace

// Checked by their tone: MP3 decoders disagree on encoder delay and padding,
// and a rate converter's samples are its own.
TEST(AudioFile, DecodesMp3AndConvertsOtherRatesKeepingStereo) {
    testsupport::TempDir dir;
    audiotest::makeTone(dir.file("tone.mp3"), 0.5);
    AudioError error;
    auto mp3 = decodeAudioFile(dir.file("tone.mp3"), 44100, &error);
    ASSERT_TRUE(mp3) << error.message;
    EXPECT_NEAR(mp3->duration(), 0.5, 0.06);
    EXPECT_NEAR(periods(*mp3), 220, 3);
    EXPECT_NEAR(*std::max_element(mp3->samples.begin(), mp3->samples.end()), 0.5f, 0.05f);

    // Other rates keep the length and the channels; a tone in the band a
    // 16-bit file keeps comes out at its level, and one that would fold back
    // under the new Nyquist frequency does not come out at all.
    for (const auto& [rate, channels, hz, peak] :
         {std::tuple{22050, 2, 1000, 0.5f}, {48000, 1, 19000, 0.5f}, {48000, 1, 23000, 0.0f},
          {8000, 1, 3500, 0.5f}}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz, a tone of " + std::to_string(hz) + " Hz");
        const std::string tone = dir.file("tone-" + std::to_string(hz) + ".wav");
        audiotest::makeTone(tone, 0.5, rate, channels, hz);
        auto out = decodeAudioFile(tone, 44100);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->channels, channels);
        EXPECT_NEAR(static_cast<double>(out->frames()), 22050.0, 1.0);
        // The middle: the tone's start and end are not a steady tone.
        float high = 0;
        for (size_t i = 4410; i < 17640; ++i) high = std::max(high, std::fabs(out->samples[i]));
        EXPECT_NEAR(high, peak, peak > 0 ? 0.01f : 1e-4f);  // gone: under -80 dBFS
    }
}

TEST(AudioFile, RefusesWhatIsNotPlayableAudio) {
    testsupport::TempDir dir;
    AudioError error;

    testsupport::writeText(dir.file("notes.wav"), "this is not a sound");
    EXPECT_FALSE(decodeAudioFile(dir.file("notes.wav"), 44100, &error));
    EXPECT_EQ(error.code, AudioError::Code::NotAudio);
    EXPECT_NE(error.message.find("notes.wav"), std::string::npos);

    EXPECT_FALSE(decodeAudioFile(dir.file("missing.wav"), 44100, &error));
    EXPECT_EQ(error.code, AudioError::Code::FileUnreadable);

    audiotest::makeTone(dir.file("surround.wav"), 0.1, 44100, 6);
    EXPECT_FALSE(decodeAudioFile(dir.file("surround.wav"), 44100, &error));
    EXPECT_EQ(error.code, AudioError::Code::UnsupportedFormat);
}

TEST(SoundCache, DecodesOnceAndAgainWhenTheFileIsReplaced) {
    testsupport::TempDir dir;
    const std::string path = dir.file("take.wav");
    audiotest::makeTone(path, 0.1);
    platform::SoundCache cache(44100);

    auto first = cache.sound(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(cache.sound(path), first);
    EXPECT_EQ(cache.decodedBytes(), first->bytes());

    // A replaced recording keeps its name; the old samples must not play.
    audiotest::makeTone(dir.file("longer.wav"), 0.3);
    std::filesystem::rename(dir.file("longer.wav"), path);
    auto second = cache.sound(path);
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_NEAR(second->duration(), 0.3, 1e-3);

    std::filesystem::remove(path);
    AudioError error;
    EXPECT_FALSE(cache.sound(path, &error));
    EXPECT_EQ(cache.count(), 0u);
}
