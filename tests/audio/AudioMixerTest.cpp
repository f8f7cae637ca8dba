#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "audio/AudioMixer.h"

using platform::AudioMixer;
using platform::AudioVoice;
using platform::PcmBuffer;
using platform::VoiceEnd;

namespace {

platform::PcmBufferRef sound(int channels, std::vector<float> samples) {
    auto pcm = std::make_shared<PcmBuffer>();
    pcm->sampleRate = 44100;
    pcm->channels = channels;
    pcm->samples = std::move(samples);
    return pcm;
}

std::vector<std::pair<AudioVoice*, VoiceEnd>> ends(AudioMixer& mixer) {
    std::vector<std::pair<AudioVoice*, VoiceEnd>> out;
    AudioVoice* v;
    VoiceEnd how;
    while (mixer.nextEnd(v, how)) out.emplace_back(v, how);
    return out;
}

}  // namespace

TEST(AudioMixer, MixesMonoAndStereoVoicesWithVolumeIntoStereoAndClamps) {
    AudioMixer mixer(2);
    // A volume over 1 raises a quiet sound (a loudness gain).
    AudioVoice mono(sound(1, {0.125f, 0.0625f, 0.25f}), 0, 2.0f);
    AudioVoice stereo(sound(2, {0.1f, -0.1f, 0.2f, -0.2f, 0.9f, 0.9f}), 0, 1.0f);
    ASSERT_TRUE(mixer.start(&mono));
    ASSERT_TRUE(mixer.start(&stereo));

    std::vector<float> out(8, 7.0f);
    mixer.render(out.data(), 4);
    const std::vector<float> expected = {0.35f, 0.15f, 0.325f, -0.075f, 1.0f, 1.0f, 0.0f, 0.0f};
    for (size_t i = 0; i < out.size(); ++i) EXPECT_NEAR(out[i], expected[i], 1e-6) << i;

    // Both ran out inside the block: each ends once, as finished.
    auto ended = ends(mixer);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_EQ(ended[0].second, VoiceEnd::Finished);
    EXPECT_EQ(ended[1].second, VoiceEnd::Finished);
    EXPECT_TRUE(mixer.idle());
    mixer.render(out.data(), 4);
    EXPECT_TRUE(ends(mixer).empty());

    // Into a mono output, stereo averages.
    AudioMixer monoMixer(1);
    AudioVoice v(sound(2, {0.4f, 0.2f, -0.4f, 0.0f}), 0, 1.0f);
    monoMixer.start(&v);
    monoMixer.render(out.data(), 2);
    EXPECT_NEAR(out[0], 0.3f, 1e-6);
    EXPECT_NEAR(out[1], -0.2f, 1e-6);
}

TEST(AudioMixer, ContinuesAcrossBlocksStopsOnCommandAndResumesFromAStartFrame) {
    AudioMixer mixer(1);
    auto pcm = sound(1, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f});
    AudioVoice first(pcm, 0, 1.0f);
    mixer.start(&first);
    std::vector<float> out(3);
    mixer.render(out.data(), 3);
    EXPECT_EQ(first.position.load(), 3u);
    EXPECT_TRUE(ends(mixer).empty());

    mixer.stop(&first);
    mixer.stop(&first);  // a second stop of the same voice is ignored
    mixer.render(out.data(), 3);
    EXPECT_EQ(out, std::vector<float>(3, 0.0f));
    auto ended = ends(mixer);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0], std::make_pair(&first, VoiceEnd::Stopped));

    AudioVoice resumed(pcm, first.position.load(), 1.0f);
    mixer.start(&resumed);
    mixer.render(out.data(), 3);
    EXPECT_NEAR(out[0], 0.4f, 1e-6);
    EXPECT_NEAR(out[2], 0.6f, 1e-6);
}

TEST(AudioMixer, AVoiceOfNoFramesEndsEvenInAnEmptyBlock) {
    AudioMixer mixer(2);
    AudioVoice empty(sound(1, {}), 0, 1.0f);
    mixer.start(&empty);
    EXPECT_FALSE(mixer.idle());
    mixer.render(nullptr, 0);
    auto ended = ends(mixer);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].second, VoiceEnd::Finished);
}

TEST(AudioMixer, TheMasterVolumeScalesEveryVoiceFromTheNextBlockOn) {
    AudioMixer mixer(1);
    AudioVoice a(sound(1, {0.4f, 0.4f, 0.4f}), 0, 0.5f);
    AudioVoice b(sound(1, {0.2f, 0.2f, 0.2f}), 0, 1.0f);
    mixer.start(&a);
    mixer.start(&b);
    mixer.setMasterVolume(0.5f);
    std::vector<float> out(1);
    mixer.render(out.data(), 1);
    EXPECT_NEAR(out[0], 0.2f, 1e-6);
    mixer.setMasterVolume(3.0f);  // clamped
    mixer.render(out.data(), 1);
    EXPECT_NEAR(out[0], 0.4f, 1e-6);
    mixer.setMasterVolume(0.0f);
    mixer.render(out.data(), 1);
    EXPECT_EQ(out[0], 0.0f);
}
